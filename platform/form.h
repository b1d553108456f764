#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

// A form is one of the program's windows: a state object that lives for the
// whole run (this class and its subclasses' fields) plus a window that exists
// only while the form is loaded. Subclasses build the window from its
// design-time settings in createWindow().
//
// Closing a form's window unloads the form; the program ends, as any Qt
// program does, when its last window closes.
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
    // Closes and destroys the window and its controls without asking
    // queryClose(); the state object stays. Safe to call from inside one of
    // the window's own event handlers.
    void unload();

    bool isLoaded() const { return !m_window.isNull(); }
    QWidget *window() const { return m_window.data(); }

    // The window's title, shown exactly as given (a file's name may hold
    // Qt's "[*]" placeholder).
    void setCaption(const QString &caption);
    QString caption() const;

Q_SIGNALS:
    void loaded();
    void unloaded();

protected:
    // Creates the window with its controls; the form takes ownership.
    virtual QWidget *createWindow() = 0;
    // Asked when the user closes the window (close box, system menu); the
    // window closes only when this returns true.
    virtual bool queryClose() { return true; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Lets go of the window: it is deleted once control is back in the
    // event loop.
    void release();

    QPointer<QWidget> m_window;
    bool m_unloading = false;
};

// Each of the program's forms exists once: created the first time it is asked
// for and kept for the whole run. It is never deleted: a static destructor
// would run after the application object is gone.
template<typename F>
F &singleForm(const char *objectName)
{
    static F *form = [objectName] {
        auto *f = new F;
        f->setObjectName(QString::fromLatin1(objectName));
        return f;
    }();
    return *form;
}
