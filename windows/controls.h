#pragma once

#include <QPushButton>

class QPlainTextEdit;

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
