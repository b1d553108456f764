#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// A form is one of the program's windows: a state object that lives for the
// whole run (this class and its subclasses' fields) plus a window that exists
// only while the form is loaded. Subclasses build the window from its
// design-time settings in createWindow().
class Form : public QObject
{
    Q_OBJECT
public:
    explicit Form(QObject *parent = nullptr);
    ~Form() override;

    // Builds the window from its design-time settings, without showing it.
    // Does nothing when the form is loaded already.
    void load();
    // Shows the window and returns at once, loading it first if needed.
    void show();
    // Shows the window application-modal and returns only once it has been
    // unloaded; meanwhile the other windows take no input.
    void showModal();
    // Destroys the window and its controls; the state object stays. Safe to
    // call from inside one of the window's own event handlers.
    void unload();

    bool isLoaded() const { return !m_window.isNull(); }
    QWidget *window() const { return m_window.data(); }

    void setCaption(const QString &caption);
    QString caption() const;

    // How many forms are loaded right now, over the whole program.
    static int loadedCount();

Q_SIGNALS:
    void loaded();
    void unloaded();

protected:
    // Creates the window with its controls; the form takes ownership.
    virtual QWidget *createWindow() = 0;
    // Asked when the user closes the window (close box, system menu); the
    // window is unloaded only when this returns true.
    virtual bool queryClose() { return true; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};

namespace Runtime {

// Stops the program at once: no further event is handled and no form is
// unloaded first.
void endProgram();

} // namespace Runtime

// Reports the program-wide events of the runtime, for the application and
// for tests that watch the program's end without ending the test process.
class RuntimeEvents : public QObject
{
    Q_OBJECT
public:
    static RuntimeEvents *instance();

Q_SIGNALS:
    // The last loaded form was unloaded: the program ends.
    void lastFormUnloaded();
    // endProgram() was called.
    void endRequested();
};
