#include "frmmain.h"

#include "commondialog.h"
#include "definitionview.h"
#include "document.h"
#include "findresults.h"
#include "includecompleter.h"
#include "journal.h"
#include "messagebox.h"
#include "metrics.h"
#include "recoveryjournal.h"
#include "richtextbox.h"
#include "searchwindows.h"
#include "statusbar.h"
#include "textcodec.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace {

QAction *addSeparator(QMenu *menu, const char *name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    menu->setAccessibleName(QString(caption).remove(u'&'));
    return menu;
}

} // namespace

FrmMainWindow::FrmMainWindow(QWidget *parent)
    : QMainWindow(parent,
                  Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                      | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                      | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(applicationTitle());
    setWindowIcon(QIcon(QStringLiteral(":/icons/vyx-editor-32.png")));
    setAccessibleName(QStringLiteral("VYX Editor"));
    setFont(standardFont());

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    client->setFocusPolicy(Qt::NoFocus);
    setCentralWidget(client);

    document = new Document(this);
    document->setObjectName(QStringLiteral("document"));
    rtfMain = new RichTextBox(client);
    rtfMain->setObjectName(QStringLiteral("rtfMain"));
    rtfMain->setGeometry(twipsRect(120, 120, 8055, 6255));
    rtfMain->setFont(standardFont());
    rtfMain->setToolTip(QStringLiteral("Enter/Change the VYX Code which appears here..."));
    rtfMain->setAccessibleName(QStringLiteral("VYX code"));
    rtfMain->setAccessibleDescription(rtfMain->toolTip());
    // Definition files are line-oriented: show long lines whole, with both
    // scroll bars as needed, rather than wrapping them.
    rtfMain->setLineWrapMode(QPlainTextEdit::NoWrap);
    rtfMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    rtfMain->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    rtfMain->setModel(document);
    journal = new RecoveryJournal(document, rtfMain, frmMain().journalStore(), this);
    journal->setObjectName(QStringLiteral("journal"));
    connect(journal, &RecoveryJournal::failed, this, &FrmMainWindow::journalFailed);
    connect(rtfMain, &RichTextBox::Change, this, &FrmMainWindow::rtfMain_Change);
    connect(rtfMain, &RichTextBox::lineLimitRefused, this, &FrmMainWindow::refuseLongLine);
    // Queued: the drop is over, and the drag source released, before
    // "Save Changes?" may ask.
    connect(rtfMain, &RichTextBox::filesDropped, this, &FrmMainWindow::openDroppedFiles,
            Qt::QueuedConnection);
    rtfMain->installEventFilter(this);

    // The open and save dialogs offer text files and VYX files, starting on
    // the VYX files.
    cdl1 = new CommonDialog(
        this,
        {QStringLiteral("Text Files (*.txt) (*.txt)"), QStringLiteral("VYX files (.vyx) (*.vyx)")},
        1);
    cdl1->setObjectName(QStringLiteral("cdl1"));

    buildMenus();
    definitionView = new DefinitionView(rtfMain, document, this);
    connect(definitionView, &DefinitionView::openRequested, this, [this](const QString &path) {
        if (confirmDiscardChanges())
            openDocument(path);
    });
    includeCompleter = new IncludeCompleter(rtfMain, document, this);
    buildLoadingPanel();
    buildFindInFiles();
    sbrStatus = new StatusBar(rtfMain, document, this);
    setStatusBar(sbrStatus);
    applyView();

    // The client area is 556 x 436 below the menu bar; the frame is fixed.
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(twips(8340), twips(6540) + menuHeight);
    setGeometry(twips(1995), twips(2010), twips(8340), twips(6540) + menuHeight);
    // Where the window was last left; showing it moves it back onto the
    // screen if it no longer fits there (see fitOnScreen).
    const QVariant place = QSettings().value(QStringLiteral("MainWindow/position"));
    if (place.canConvert<QPoint>())
        setGeometry(QRect(place.toPoint(), size()));
    m_heightWithoutResults = height();
    buildOutline();

    rtfMain->setFocus();
}

QAction *FrmMainWindow::addItem(QMenu *menu, const char *name, const QString &caption,
                                const QKeySequence &shortcut, void (FrmMainWindow::*handler)(),
                                bool enabled)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void FrmMainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("frmMainMenuBar"));
    // The menus keep the desktop's own menu font, as native menus do.
    bar->setFont(QFont());

    mnuFile = addMenu(bar, "mnuFile", QStringLiteral("&File"));
    mnuNew = addItem(mnuFile, "mnuNew", QStringLiteral("New"), QKeySequence(Qt::CTRL | Qt::Key_N),
                     &FrmMainWindow::mnuNew_Click);
    mnuOpen = addItem(mnuFile, "mnuOpen", QStringLiteral("Open..."),
                      QKeySequence(Qt::CTRL | Qt::Key_O), &FrmMainWindow::mnuOpen_Click);
    mnuSave = addItem(mnuFile, "mnuSave", QStringLiteral("Save"), QKeySequence(),
                      &FrmMainWindow::mnuSave_Click);
    // Ctrl+S is this editor's key for "Save As...", and Save has none.
    mnuSaveAs = addItem(mnuFile, "mnuSaveAs", QStringLiteral("Save As..."),
                        QKeySequence(Qt::CTRL | Qt::Key_S), &FrmMainWindow::mnuSaveAs_Click);
    buildFileHistoryMenus();
    buildPrintMenu();
    mnuSep = addSeparator(mnuFile, "mnuSep");
    mnuExit = addItem(mnuFile, "mnuExit", QStringLiteral("Exit"), QKeySequence(),
                      &FrmMainWindow::mnuExit_Click);

    mnuEdit = addMenu(bar, "mnuEdit", QStringLiteral("&Edit"));
    mnuCut = addItem(mnuEdit, "mnuCut", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X),
                     &FrmMainWindow::mnuCut_Click, false);
    mnuCopy = addItem(mnuEdit, "mnuCopy", QStringLiteral("Copy"),
                      QKeySequence(Qt::CTRL | Qt::Key_C), &FrmMainWindow::mnuCopy_Click, false);
    mnuPaste = addItem(mnuEdit, "mnuPaste", QStringLiteral("Paste"),
                       QKeySequence(Qt::CTRL | Qt::Key_V), &FrmMainWindow::mnuPaste_Click, false);
    mnuSep1 = addSeparator(mnuEdit, "mnuSep1");
    mnuUndo = addItem(mnuEdit, "mnuUndo", QStringLiteral("Undo"),
                      QKeySequence(Qt::CTRL | Qt::Key_Z), &FrmMainWindow::mnuUndo_Click, false);
    mnuRedo = addItem(mnuEdit, "mnuRedo", QStringLiteral("Redo"), QKeySequence(),
                      &FrmMainWindow::mnuRedo_Click, false);
    mnuRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(rtfMain, &QPlainTextEdit::undoAvailable, mnuUndo, &QAction::setEnabled);
    connect(rtfMain, &QPlainTextEdit::redoAvailable, mnuRedo, &QAction::setEnabled);
    mnuSep2 = addSeparator(mnuEdit, "mnuSep2");
    mnuFind = addItem(mnuEdit, "mnuFind", QStringLiteral("Find..."),
                      QKeySequence(Qt::CTRL | Qt::Key_F), &FrmMainWindow::mnuFind_Click);
    mnuFindNext = addItem(mnuEdit, "mnuFindNext", QStringLiteral("Find Next"),
                          QKeySequence(Qt::Key_F3), &FrmMainWindow::mnuFindNext_Click);
    mnuFindPrevious
        = addItem(mnuEdit, "mnuFindPrevious", QStringLiteral("Find Previous"),
                  QKeySequence(Qt::SHIFT | Qt::Key_F3), &FrmMainWindow::mnuFindPrevious_Click);
    mnuReplace = addItem(mnuEdit, "mnuReplace", QStringLiteral("Replace..."),
                         QKeySequence(Qt::CTRL | Qt::Key_H), &FrmMainWindow::mnuReplace_Click);
    mnuFindInFiles = addItem(mnuEdit, "mnuFindInFiles", QStringLiteral("Find in Files..."),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                             &FrmMainWindow::mnuFindInFiles_Click);
    mnuGoToLine = addItem(mnuEdit, "mnuGoToLine", QStringLiteral("Go to Line..."),
                          QKeySequence(Qt::CTRL | Qt::Key_G), &FrmMainWindow::mnuGoToLine_Click);
    mnuGoToItem = addItem(mnuEdit, "mnuGoToItem", QStringLiteral("Go to Item..."),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                          &FrmMainWindow::mnuGoToItem_Click);
    mnuSep3 = addSeparator(mnuEdit, "mnuSep3");
    mnuSelectAll = addItem(mnuEdit, "mnuSelectAll", QStringLiteral("Select All"),
                           QKeySequence(Qt::CTRL | Qt::Key_A), &FrmMainWindow::mnuSelectAll_Click);
    mnuSepComment = addSeparator(mnuEdit, "mnuSepComment");
    mnuToggleComment
        = addItem(mnuEdit, "mnuToggleComment", QStringLiteral("Toggle Comment"),
                  QKeySequence(Qt::CTRL | Qt::Key_Slash), &FrmMainWindow::mnuToggleComment_Click);

    mnuInsert = addMenu(bar, "mnuInsert", QStringLiteral("&Insert"));
    mnuInclude = addItem(mnuInsert, "mnuInclude", QStringLiteral("Include Line"), QKeySequence(),
                         &FrmMainWindow::mnuInclude_Click);
    mnuItemSeparator = addItem(mnuInsert, "mnuItemSeparator", QStringLiteral("Item Separator"),
                               QKeySequence(), &FrmMainWindow::mnuItemSeparator_Click);
    mnuSep4 = addSeparator(mnuInsert, "mnuSep4");
    mnuDoubleSlash = addItem(mnuInsert, "mnuDoubleSlash", QStringLiteral("//"), QKeySequence(),
                             &FrmMainWindow::mnuDoubleSlash_Click);
    mnuHash = addItem(mnuInsert, "mnuHash", QStringLiteral("#"), QKeySequence(),
                      &FrmMainWindow::mnuHash_Click);

    mnuView = addMenu(bar, "mnuView", QStringLiteral("&View"));
    buildViewMenu();

    mnuHelp = addMenu(bar, "mnuHelp", QStringLiteral("&Help"));
    mnuHowToUse = addItem(mnuHelp, "mnuHowToUse", QStringLiteral("How to use..."), QKeySequence(),
                          &FrmMainWindow::howToUseRequested);
    mnuSep5 = addSeparator(mnuHelp, "mnuSep5");
    mnuAbout = addItem(mnuHelp, "mnuAbout", QStringLiteral("About " VYX_PRODUCT_NAME),
                       QKeySequence(), &FrmMainWindow::aboutRequested);
}

void FrmMainWindow::buildFileHistoryMenus()
{
    mnuRecentFiles = mnuFile->addMenu(QStringLiteral("Recent Files"));
    mnuRecentFiles->setObjectName(QStringLiteral("mnuRecentFiles"));
    mnuRecentFiles->menuAction()->setObjectName(QStringLiteral("mnuRecentFiles"));
    mnuRecentFiles->setAccessibleName(mnuRecentFiles->title());
    mnuClearRecentFiles
        = addItem(mnuRecentFiles, "mnuClearRecentFiles", QStringLiteral("Clear Recent Files"),
                  QKeySequence(), &FrmMainWindow::mnuClearRecentFiles_Click);
    fillRecentFiles();

    mnuReopenEncoding = mnuFile->addMenu(QStringLiteral("Reopen with Encoding"));
    mnuReopenEncoding->setObjectName(QStringLiteral("mnuReopenEncoding"));
    mnuReopenEncoding->menuAction()->setObjectName(QStringLiteral("mnuReopenEncoding"));
    mnuReopenEncoding->setAccessibleName(mnuReopenEncoding->title());
    const auto addEncodings = [this](const QStringList &names) {
        for (const QString &name : names) {
            QAction *item = mnuReopenEncoding->addAction(name);
            item->setObjectName(QStringLiteral("mnuEncoding_") + name);
            connect(item, &QAction::triggered, this, [this, name] { reopenWithEncoding(name); });
        }
    };
    addEncodings(detectedEncodingNames());
    mnuReopenEncoding->addSeparator();
    addEncodings(legacyEncodingNames());
    mnuReopenEncoding->menuAction()->setEnabled(false);
    buildCompareMenu();
    connect(document, &Document::filePathChanged, this, [this](const QString &path) {
        mnuReopenEncoding->menuAction()->setEnabled(!path.isEmpty());
    });
    // The status bar names document->encoding(), following
    // Document::encodingChanged.
}

// Ctrl+X and Ctrl+C typed in the text are the control's own, acting on the
// selection; like the menu's Cut and Copy they make Paste available.
bool FrmMainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == rtfMain && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy))
            mnuPaste->setEnabled(true);
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMainWindow::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous()) {
        QSettings().setValue(QStringLiteral("MainWindow/position"), geometry().topLeft());
        rememberPlace();
    }
    QMainWindow::hideEvent(event);
}

void FrmMainWindow::changeEvent(QEvent *event)
{
    // Coming back to the editor is when another program's changes to the
    // file are worth telling; after the event, so that no question opens
    // inside the activation itself, and never over an open dialog.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        QTimer::singleShot(0, this, [this] {
            if (!QApplication::activeModalWidget())
                checkDocumentOnDisk();
        });
    }
    QMainWindow::changeEvent(event);
}

// Cut and Copy are offered only while there is text. The document is empty
// exactly when its one block is empty; asking that instead of reading the
// whole text keeps each keystroke cheap on documents of many MB.
void FrmMainWindow::rtfMain_Change()
{
    const bool hasText = rtfMain->document()->characterCount() > 1;
    mnuCut->setEnabled(hasText);
    mnuCopy->setEnabled(hasText);
}

void FrmMainWindow::refuseLongLine()
{
    showWarning(this,
                tr("This would make a line longer than %1 characters, too long to edit.")
                    .arg(Document::maxLineLength));
}

void FrmMainWindow::buildLoadingPanel()
{
    fraLoading = new QFrame(centralWidget());
    fraLoading->setObjectName(QStringLiteral("fraLoading"));
    fraLoading->setAccessibleName(QStringLiteral("Loading"));
    fraLoading->setFrameShape(QFrame::StyledPanel);
    fraLoading->setAutoFillBackground(true);

    prgLoading = new QProgressBar(fraLoading);
    prgLoading->setObjectName(QStringLiteral("prgLoading"));
    prgLoading->setAccessibleName(QStringLiteral("Loading progress"));
    prgLoading->setRange(0, 100);
    prgLoading->setFormat(QStringLiteral("Loading... %p%"));

    cmdCancelLoad = new QPushButton(QStringLiteral("Cancel"), fraLoading);
    cmdCancelLoad->setObjectName(QStringLiteral("cmdCancelLoad"));
    cmdCancelLoad->setAccessibleName(QStringLiteral("Cancel loading"));
    cmdCancelLoad->setFocusPolicy(Qt::NoFocus);

    auto *row = new QHBoxLayout(fraLoading);
    row->setContentsMargins(4, 1, 4, 1);
    row->addWidget(prgLoading, 1);
    row->addWidget(cmdCancelLoad);
    fraLoading->hide();

    // Escape stops a load whether or not the panel is up yet.
    actCancelLoad = new QAction(QStringLiteral("Cancel Loading"), this);
    actCancelLoad->setObjectName(QStringLiteral("actCancelLoad"));
    actCancelLoad->setShortcut(QKeySequence(Qt::Key_Escape));
    actCancelLoad->setEnabled(false);
    addAction(actCancelLoad);

    // A load that ends quickly never puts the panel up.
    m_showLoading = new QTimer(this);
    m_showLoading->setSingleShot(true);
    m_showLoading->setInterval(300);
    connect(m_showLoading, &QTimer::timeout, fraLoading, &QWidget::show);

    connect(actCancelLoad, &QAction::triggered, document, &Document::cancelLoad);
    connect(cmdCancelLoad, &QPushButton::clicked, document, &Document::cancelLoad);
    connect(document, &Document::loadProgress, prgLoading, &QProgressBar::setValue);
    connect(document, &Document::loadStarted, this, &FrmMainWindow::onLoadStarted);
    connect(document, &Document::loadEnded, this, &FrmMainWindow::onLoadEnded);
}

// While a file loads the document can be neither edited, saved nor
// replaced: every menu item that would is disabled. Exit stays, and stops
// the load; About stays, as it leaves the document alone.
void FrmMainWindow::onLoadStarted()
{
    m_enabledBeforeLoad.clear();
    for (QMenu *menu : {mnuFile, mnuEdit, mnuInsert, mnuHelp}) {
        for (QAction *item : menu->actions()) {
            if (item->isSeparator() || item == mnuExit || item == mnuAbout)
                continue;
            m_enabledBeforeLoad.insert(item, item->isEnabled());
            item->setEnabled(false);
        }
    }
    // A search window left open could still change the text.
    for (QWidget *search : std::initializer_list<QWidget *>{frmFind, frmReplace, frmGoToLine})
        if (search)
            search->setEnabled(false);
    actNextResult->setEnabled(false);
    actPreviousResult->setEnabled(false);
    if (dckFindResults)
        dckFindResults->setEscapeGoesBack(false);
    prgLoading->setValue(0);
    actCancelLoad->setEnabled(true);
    m_showLoading->start();
}

void FrmMainWindow::onLoadEnded()
{
    m_showLoading->stop();
    fraLoading->hide();
    actCancelLoad->setEnabled(false);
    for (auto it = m_enabledBeforeLoad.cbegin(); it != m_enabledBeforeLoad.cend(); ++it)
        it.key()->setEnabled(it.value());
    m_enabledBeforeLoad.clear();
    mnuReopenEncoding->menuAction()->setEnabled(!document->filePath().isEmpty());
    mnuCompareSaved->setEnabled(!document->filePath().isEmpty());
    for (QWidget *search : std::initializer_list<QWidget *>{frmFind, frmReplace, frmGoToLine})
        if (search)
            search->setEnabled(true);
    actNextResult->setEnabled(true);
    actPreviousResult->setEnabled(true);
    if (dckFindResults)
        dckFindResults->setEscapeGoesBack(true);
    // The document shown now, loaded or the earlier one back, has its own history.
    mnuUndo->setEnabled(rtfMain->document()->isUndoAvailable());
    mnuRedo->setEnabled(rtfMain->document()->isRedoAvailable());
    rtfMain_Change();
}

void FrmMainWindow::keepUnsavedWork()
{
    journal->writeNow();
    journal->flush();
}

FrmMainWindow *FrmMain::win() const
{
    return static_cast<FrmMainWindow *>(window());
}

RichTextBox *FrmMain::rtfMain() const
{
    FrmMainWindow *w = win();
    return w ? w->rtfMain : nullptr;
}

QWidget *FrmMain::createWindow()
{
    return new FrmMainWindow;
}

FrmMain::FrmMain() = default;
FrmMain::~FrmMain() = default;

JournalStore *FrmMain::journalStore()
{
    if (!m_journalStore)
        m_journalStore = std::make_unique<JournalStore>();
    return m_journalStore.get();
}

bool FrmMain::queryClose()
{
    return win()->confirmDiscardChanges();
}

FrmMain &frmMain()
{
    return singleForm<FrmMain>("frmMainForm");
}
