#pragma once

#include "form.h"

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The page that explains the editor's menus, every line ending in CR LF.
QString howToUseText();

// The help window while it is loaded: the read-only help page and the
// button back to the editor, at fixed positions.
class FrmHowToUseWindow : public QWidget
{
    Q_OBJECT
public:
    explicit FrmHowToUseWindow(QWidget *parent = nullptr);

    QPlainTextEdit *txtHowToUse = nullptr;
    QPushButton *cmdBack = nullptr;
};

// The help window's state object. It has no fields: everything the window
// shows is rebuilt at each load, so every visit starts at the top.
class FrmHowToUse : public Form
{
    Q_OBJECT
public:
    FrmHowToUseWindow *win() const;

protected:
    QWidget *createWindow() override;
};

// The one help form of the program, created on first use.
FrmHowToUse &frmHowToUse();
