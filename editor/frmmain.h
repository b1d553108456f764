#pragma once

#include "form.h"

#include <QHash>
#include <QMainWindow>

class CommonDialog;
class FrmGoToLineWindow;
class FrmSearchWindow;
class QAction;
class QFrame;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class RichTextBox;

// The editor window while it is loaded: the editing control, the file
// dialog and the menu tree, built from their design-time settings.
class FrmMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmMainWindow(QWidget *parent = nullptr);

    RichTextBox *rtfMain = nullptr;
    CommonDialog *cdl1 = nullptr;

    QMenu *mnuFile = nullptr;
    QAction *mnuNew = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuSaveAs = nullptr;
    QAction *mnuSep = nullptr;
    QAction *mnuExit = nullptr;

    QMenu *mnuEdit = nullptr;
    QAction *mnuCut = nullptr;
    QAction *mnuCopy = nullptr;
    QAction *mnuPaste = nullptr;
    QAction *mnuSep1 = nullptr;
    QAction *mnuUndo = nullptr;
    QAction *mnuRedo = nullptr;
    QAction *mnuSep2 = nullptr;
    QAction *mnuFind = nullptr;
    QAction *mnuFindNext = nullptr;
    QAction *mnuFindPrevious = nullptr;
    QAction *mnuReplace = nullptr;
    QAction *mnuGoToLine = nullptr;
    QAction *mnuSep3 = nullptr;
    QAction *mnuSelectAll = nullptr;

    QMenu *mnuInsert = nullptr;
    QAction *mnuInclude = nullptr;
    QAction *mnuItemSeparator = nullptr;
    QAction *mnuSep4 = nullptr;
    QAction *mnuDoubleSlash = nullptr;
    QAction *mnuHash = nullptr;

    QMenu *mnuHelp = nullptr;
    QAction *mnuHowToUse = nullptr;
    QAction *mnuSep5 = nullptr;
    QAction *mnuAbout = nullptr;

    // The search windows, made on first use; children of this window, they
    // close and go with it.
    FrmSearchWindow *frmFind = nullptr;
    FrmSearchWindow *frmReplace = nullptr;
    FrmGoToLineWindow *frmGoToLine = nullptr;

    // Shown over the foot of the text while a big file loads: how far it
    // has come, and a way to stop it (also Escape).
    QFrame *fraLoading = nullptr;
    QProgressBar *prgLoading = nullptr;
    QPushButton *cmdCancelLoad = nullptr;
    QAction *actCancelLoad = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildMenus();
    void buildLoadingPanel();
    void onLoadStarted();
    void onLoadEnded();

    QTimer *m_showLoading = nullptr;
    // The menu items' states from before a load, given back after it.
    QHash<QAction *, bool> m_enabledBeforeLoad;
};

// The editor's state object: lives for the whole run, while its window comes
// and goes (a visit to the help window unloads it).
class FrmMain : public Form
{
    Q_OBJECT
public:
    // Where the open and save dialogs start: the files of the most recent
    // successful Open and Save As. Kept across reloads of the window.
    QString strLastopen;
    QString strLastsave;

    // The file the document shown was last opened from or saved to; empty for
    // a new document. Belongs to the document, so it starts empty at each load.
    QString documentPath;

    // The Help menu's commands open windows built above this layer, so the
    // program hands them over once at start; every load of the window
    // connects them to its menu items.
    using Command = void (*)();
    void setHelpCommands(Command howToUse, Command about);
    Command howToUseCommand = nullptr;
    Command aboutCommand = nullptr;

    // The loaded window, or null while the form is unloaded.
    FrmMainWindow *win() const;
    RichTextBox *rtfMain() const;

protected:
    QWidget *createWindow() override;
    bool queryClose() override;
};

// The one editor form of the program.
FrmMain &frmMain();
