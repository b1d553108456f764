#pragma once

#include <QPushButton>

class QGridLayout;
class QLineEdit;
class QPlainTextEdit;
class QVBoxLayout;

// A push button that is never a window's default or cancel button but, like
// a native command button, is pressed by Enter as well as Space while it has
// the focus. Qt lets Enter press a focused button only when it is an
// auto-default button, and auto-default buttons become the default button
// while focused; this keeps the button plain and handles Enter itself.
class CommandButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// A multi-line text box the user can read, select and copy from but not
// change. Tab leaves it instead of being typed, as in a dialog's text box.
QPlainTextEdit *newReadOnlyTextBox(QWidget *parent, const char *name, const QRect &geometry,
                                   const QString &text);

// Gives a control of a dialog its object name. Every control is named for
// screen readers by what it shows (a caption, or a field's label), so none
// needs an accessible name set by hand.
template<typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A text field in the given row of a dialog's grid, with its label (the
// field's buddy) before it; the label's name follows the field's: txtFind,
// lblFind.
QLineEdit *addField(QGridLayout *grid, int row, const QString &caption, const char *name);
// A button at the foot of a dialog's column of buttons. Only the dialog's
// default button answers Enter.
QPushButton *addButton(QVBoxLayout *column, const QString &caption, const char *name);
