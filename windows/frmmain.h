#pragma once

#include "form.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class CommonDialog;
class JournalStore;
class RecoveryJournal;
class DefinitionView;
class Document;
class FindResultsDock;
class FrmCompare;
class FrmFindInFiles;
class FrmGoToLineWindow;
class FrmSearchWindow;
class IncludeCompleter;
class ProblemsDock;
struct ModCheckOptions;
class OutlineDock;
class QAction;
class QFrame;
class QMenu;
class QProgressBar;
class QPagedPaintDevice;
class QPushButton;
class QTimer;
class QUrl;
class RichTextBox;
class StatusBar;

// The editor window while it is loaded: the document, the editing control
// that shows it, the file dialog and the menu tree, built from their
// design-time settings, and the commands of its menus.
class FrmMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmMainWindow(QWidget *parent = nullptr);

    // The File menu's commands.
    void mnuNew_Click();
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuSaveAs_Click();
    void mnuExit_Click();
    void mnuClearRecentFiles_Click();
    // A file of the Recent Files list: opened after "Save Changes?"; one
    // that no longer exists is named to the user and leaves the list.
    void openRecentFile(const QString &path);
    // Reads the document's file again in the encoding of that name, after
    // "Save Changes?"; the caret stays where it was.
    void reopenWithEncoding(const QString &encodingName);
    void mnuCompareFile_Click();
    void mnuCompareSaved_Click();
    // Files dropped on the window: the first is opened as by Open.
    void openDroppedFiles(const QList<QUrl> &files);
    // The Edit menu's commands.
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuUndo_Click();
    void mnuRedo_Click();
    void mnuFind_Click();
    void mnuFindNext_Click();
    void mnuFindPrevious_Click();
    void mnuReplace_Click();
    void mnuFindInFiles_Click();
    void mnuGoToLine_Click();
    void mnuGoToItem_Click();
    void mnuSelectAll_Click();
    // Comments the selected lines, or the caret's, in or out.
    void mnuToggleComment_Click();
    // The Insert menu's commands: each appends a piece of definition-file
    // syntax at the very end of the document.
    void mnuInclude_Click();
    void mnuItemSeparator_Click();
    void mnuDoubleSlash_Click();
    void mnuHash_Click();
    // The View menu's commands: how the text is shown, remembered for the
    // next start.
    void mnuWordWrap_Click();
    void mnuLineNumbers_Click();
    void mnuStatusBar_Click();
    void mnuProblems_Click();
    void mnuOutline_Click();
    void mnuZoomIn_Click();
    void mnuZoomOut_Click();
    void mnuResetZoom_Click();

    // The File menu's printing (printcommands.cpp).
    void mnuPrint_Click();
    void mnuPrintPreview_Click();
    void mnuExportPdf_Click();
    // Writes the document to a PDF file at path, as Export as PDF does once
    // the file is chosen: all or nothing, the reason told on failure or
    // nothing on Cancel. True once the file is complete.
    bool exportPdf(const QString &path);

    // Asks "Save Changes?" when the document has unsaved changes. Returns true
    // when the caller may go on and drop the text: nothing to save, the user
    // said No, or the save the user asked for succeeded. During a load the
    // question is about the document shown before it; Cancel lets the load
    // go on.
    bool confirmDiscardChanges();
    // Loads the file at path as Open does once a file is chosen (also for a
    // file named on the command line): on success the caption shows its name
    // and it becomes the document's file and the open dialog's start place;
    // on failure the user is told why and nothing changes. A big file goes
    // on loading after this returns; cancelled, it leaves all as it was.
    // Once in, the caret goes to the start of line (from 1; clamped to the
    // last line), or with line 0 back where it was when the file was last
    // left, and the file heads the recent files.
    bool openDocument(const QString &path, int line = 0);
    // Tells the user when the document's file has changed on disk since it
    // was read or saved (once for each change): offers to reload a document
    // without unsaved changes, and says that Save will ask for one with them.
    void checkDocumentOnDisk();
    // Says that an edit was refused because it would make a line too long.
    void refuseLongLine();
    // At start, before the window takes input: offers the unsaved work of
    // editors that ended without saving it. Returns true when a document
    // was recovered and is shown.
    bool offerRecovery();
    // Writes the document's unsaved work to its recovery journal now and
    // waits until it is on disk: the editor is being ended from outside.
    void keepUnsavedWork();
    // The recovery journal could not be written: said in the status bar,
    // and the first time in a message, while typing goes on.
    void journalFailed(const QString &reason);
    // Shows a match found in files: selects it in the document when it is
    // that file, otherwise opens the file (after "Save Changes?") first.
    void showFindResult(const QString &path, int line, int column, int length);

Q_SIGNALS:
    // The Help menu's items: the windows they open live above this one.
    void howToUseRequested();
    void aboutRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    friend class FrmMain;

    // The document shown; it goes with the window.
    Document *document = nullptr;
    RichTextBox *rtfMain = nullptr;
    DefinitionView *definitionView = nullptr;
    // The list of file names offered inside an include's quotes.
    IncludeCompleter *includeCompleter = nullptr;
    // Keeps the document's unsaved work safe from a crash.
    RecoveryJournal *journal = nullptr;
    CommonDialog *cdl1 = nullptr;

    QMenu *mnuFile = nullptr;
    QAction *mnuNew = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuSaveAs = nullptr;
    // The files last opened or saved, then Clear Recent Files.
    QMenu *mnuRecentFiles = nullptr;
    QAction *mnuClearRecentFiles = nullptr;
    // The document's file read again in an encoding the user names.
    QMenu *mnuReopenEncoding = nullptr;
    // The document against another file, or against its own file on disk.
    QAction *mnuCompareFile = nullptr;
    QAction *mnuCompareSaved = nullptr;
    CommonDialog *cdlCompare = nullptr;
    QPointer<FrmCompare> frmCompare;
    QAction *mnuSepPrint = nullptr;
    QAction *mnuPrint = nullptr;
    QAction *mnuPrintPreview = nullptr;
    QAction *mnuExportPdf = nullptr;
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
    QAction *mnuFindInFiles = nullptr;
    QAction *mnuGoToLine = nullptr;
    QAction *mnuGoToItem = nullptr;
    QAction *mnuSep3 = nullptr;
    QAction *mnuSelectAll = nullptr;
    QAction *mnuSepComment = nullptr;
    QAction *mnuToggleComment = nullptr;

    QMenu *mnuInsert = nullptr;
    QAction *mnuInclude = nullptr;
    QAction *mnuItemSeparator = nullptr;
    QAction *mnuSep4 = nullptr;
    QAction *mnuDoubleSlash = nullptr;
    QAction *mnuHash = nullptr;

    QMenu *mnuView = nullptr;
    QAction *mnuWordWrap = nullptr;
    QAction *mnuLineNumbers = nullptr;
    QAction *mnuStatusBar = nullptr;
    // The Problems panel (problemscommands.cpp), made on first use.
    QAction *mnuProblems = nullptr;
    ProblemsDock *dckProblems = nullptr;
    QAction *mnuOutline = nullptr;
    QAction *mnuSep6 = nullptr;
    QAction *mnuZoomIn = nullptr;
    QAction *mnuZoomOut = nullptr;
    QAction *mnuResetZoom = nullptr;

    QMenu *mnuHelp = nullptr;
    QAction *mnuHowToUse = nullptr;
    QAction *mnuSep5 = nullptr;
    QAction *mnuAbout = nullptr;

    // The search windows, made on first use; children of this window, they
    // close and go with it.
    FrmSearchWindow *frmFind = nullptr;
    FrmSearchWindow *frmReplace = nullptr;
    FrmGoToLineWindow *frmGoToLine = nullptr;
    FrmFindInFiles *frmFindInFiles = nullptr;
    // The results of Find in Files, under the text; made on first use.
    FindResultsDock *dckFindResults = nullptr;
    // F4 and Shift+F4: the next and previous result, from anywhere in the window.
    QAction *actNextResult = nullptr;
    QAction *actPreviousResult = nullptr;
    // The document's items, at the left of the text; made on first use.
    OutlineDock *dckOutline = nullptr;

    // Shown over the foot of the text while a big file loads: how far it
    // has come, and a way to stop it (also Escape).
    QFrame *fraLoading = nullptr;
    QProgressBar *prgLoading = nullptr;
    QPushButton *cmdCancelLoad = nullptr;
    QAction *actCancelLoad = nullptr;

    // Where the caret is, the encoding and line ends Save writes, load progress.
    StatusBar *sbrStatus = nullptr;

    // Find, Replace and Go to Line (searchcommands.cpp). The search windows
    // are made on first use; Find Next and Find Previous in a search window
    // search for what its fields say at that moment.
    FrmSearchWindow *searchWindow(bool replace);
    void openSearchWindow(bool replace);
    void findAgain(bool backward);
    void searchFrom(FrmSearchWindow *window, bool backward);
    // Selects the next or previous match, scrolled into view; with none, the
    // selection stays and the window that asked says so.
    void findAndSelect(FrmSearchWindow *asking, bool backward);
    void cmdReplace_Click(FrmSearchWindow *window);
    void cmdReplaceAll_Click(FrmSearchWindow *window);
    void goToLine(FrmGoToLineWindow *window);
    bool save();
    bool saveAs();
    bool writeDocument(const QString &path);
    void appendSnippet(const QString &snippet, int caretOffset);
    void appendSnippet(const QString &snippet);
    void rtfMain_Change();
    QAction *addItem(QMenu *menu, const char *name, const QString &caption,
                     const QKeySequence &shortcut, void (FrmMainWindow::*handler)(),
                     bool enabled = true);
    void buildMenus();
    void buildFileHistoryMenus();
    void buildCompareMenu();
    // Shows the Compare window (one at a time) comparing the document with path.
    void openCompare(const QString &path, const QString &name);
    void buildPrintMenu();
    // Lays out the document (or its selected lines) on the device's pages
    // and paints them, at most pageLimit of them (0: no limit), with a
    // progress window for a big document. Returns the number of pages the
    // document makes, -1 when the user cancelled, -2 when the device
    // could not be painted on.
    int printPages(QPagedPaintDevice *device, bool selectionOnly, int pageLimit = 0);
    void fillRecentFiles();
    // Keeps the caret and scroll of the document's file for its next opening.
    void rememberPlace();
    // Puts the caret at the start of line (from 1), or where path was left.
    void placeCaret(const QString &path, int line);
    void buildLoadingPanel();
    // Fills the View menu as the settings of the last run say.
    void buildViewMenu();
    // Shows the text as the View menu's items and the zoom say.
    void applyView();
    void saveView() const;
    void zoomBy(int steps);
    // The text fills the client area above the status bar, when shown.
    void layOutText();
    void onLoadStarted();
    void onLoadEnded();
    void buildFindInFiles();
    void findInFiles();
    // The window is of fixed size: it grows by the results panel's height
    // while the panel is shown under the text, so that the text keeps its size.
    void fitFindResults();
    int m_heightWithoutResults = 0;
    void buildProblems();
    void showProblems(bool focus);
    ModCheckOptions problemOptions() const;
    // Checks the document as it stands and what its includes reach.
    void checkProblems();
    QTimer *m_problemsTimer = nullptr;
    bool m_problemsByKey = false; // Ctrl+Shift+M rather than a click on the item
    void buildOutline();
    OutlineDock *outlineDock();
    // Go to Item shows the Outline once: until an item is taken, Escape, or
    // the focus leaves it.
    void showOutline(bool once);
    void hideOutline();
    // The window grows by the Outline's width while it is docked.
    void fitOutline();
    void takeOutlineItem(int line, bool byClick);
    void focusText();
    int m_outlineWidth = 0;
    bool m_outlineOnce = false;

    QTimer *m_showLoading = nullptr;
    // The menu items' states from before a load, given back after it.
    QHash<QAction *, bool> m_enabledBeforeLoad;
    // Where Export as PDF last wrote, for untitled documents.
    CommonDialog *cdlPdf = nullptr;
    // Points added to the text's size by zooming.
    int m_zoom = 0;
    // A journal failure was told in a message: later ones only in the status bar.
    bool m_journalFailureShown = false;
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

    FrmMain();
    ~FrmMain() override;

    // The loaded window, or null while the form is unloaded.
    FrmMainWindow *win() const;
    RichTextBox *rtfMain() const;

    // The recovery journals, and this running editor's own among them; made
    // on first use, in the folder the environment names at that time.
    JournalStore *journalStore();

protected:
    QWidget *createWindow() override;
    bool queryClose() override;

private:
    std::unique_ptr<JournalStore> m_journalStore;
};

// The one editor form of the program.
FrmMain &frmMain();
