#pragma once

#include "form.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// What the About window says about the program, one paragraph ending in CR LF.
QString aboutText();
// Who made the program, one name per line, each line ending in CR LF.
QString codersText();

// The About window while it is loaded: a fixed tool window with the
// description, the credits and its Close button.
class FrmAboutWindow : public QDialog
{
    Q_OBJECT
public:
    explicit FrmAboutWindow(QWidget *parent = nullptr);

    void cmdClose_Click();

    QLabel *Label1 = nullptr;
    QPlainTextEdit *txtAbout = nullptr;
    QPlainTextEdit *txtCoders = nullptr;
    QPushButton *cmdClose = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The About window's state object; it has no fields of its own.
class FrmAbout : public Form
{
    Q_OBJECT
public:
    FrmAboutWindow *win() const;

protected:
    QWidget *createWindow() override;
};

// The one About form, created the first time it is asked for.
FrmAbout &frmAbout();
