#pragma once

#include <QMessageBox>
#include <QString>

// The title every message of the program carries.
QString applicationTitle();

// A question with the question icon and Yes as the default button (No where
// Yes would throw away or change what the user did not ask for); returns
// the button pressed (Escape or the close box count as No, or as Cancel when
// it is offered).
QMessageBox::StandardButton askYesNo(QWidget *parent, const QString &prompt,
                                     QMessageBox::StandardButton defaultButton = QMessageBox::Yes);
QMessageBox::StandardButton askYesNoCancel(QWidget *parent, const QString &prompt);
// A question whose one way forward is named by accept (rather than Yes),
// beside Cancel, the default; true when accept was chosen.
bool askAcceptCancel(QWidget *parent, const QString &prompt, const QString &accept);
// A path as messages name it: quoted, with the system's separators.
QString quotedPath(const QString &path);
// A failure report with the warning icon.
void showWarning(QWidget *parent, const QString &message);
