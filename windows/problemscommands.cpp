// View > Problems: the check of a mod as the modder edits, each problem one
// key from its line.

#include "frmmain.h"

#include "document.h"
#include "findresults.h"
#include "metrics.h"
#include "problems.h"
#include "richtextbox.h"
#include "textcodec.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

namespace {

const QString problemsKey = QStringLiteral("View/Problems");
const QString folderKey = QStringLiteral("Problems/Folder");

// Tells apart the item's shortcut from a click on it: the shortcut reaches
// the action as an event of its own.
class ShortcutWatch : public QObject
{
public:
    ShortcutWatch(QAction *action, bool *byKey)
        : QObject(action)
        , m_byKey(byKey)
    {
        action->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Shortcut)
            *m_byKey = true;
        return false;
    }

private:
    bool *m_byKey;
};

// Checks again when the window comes back: another program may have
// created, changed or removed an included file meanwhile.
class ActivationWatch : public QObject
{
public:
    ActivationWatch(QWidget *window, std::function<void()> activated)
        : QObject(window)
        , m_activated(std::move(activated))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate)
            m_activated();
        return false;
    }

private:
    std::function<void()> m_activated;
};

} // namespace

void FrmMainWindow::buildProblems()
{
    mnuProblems->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    new ShortcutWatch(mnuProblems, &m_problemsByKey);
    m_problemsTimer = new QTimer(this);
    m_problemsTimer->setObjectName(QStringLiteral("tmrProblems"));
    m_problemsTimer->setSingleShot(true);
    // Within a second after typing stops: soon enough to see, rarely
    // enough to cost nothing while typing goes on.
    m_problemsTimer->setInterval(1000);
    connect(m_problemsTimer, &QTimer::timeout, this, &FrmMainWindow::checkProblems);
    connect(rtfMain, &QPlainTextEdit::textChanged, this, [this] {
        if (mnuProblems->isChecked())
            m_problemsTimer->start();
    });
    connect(document, &Document::loadEnded, this, [this] {
        if (mnuProblems->isChecked())
            checkProblems();
    });
    new ActivationWatch(this, [this] {
        if (mnuProblems->isChecked())
            checkProblems();
    });
    if (QSettings().value(problemsKey, false).toBool())
        QTimer::singleShot(0, this, [this] { showProblems(false); });
}

void FrmMainWindow::mnuProblems_Click()
{
    const bool byKey = std::exchange(m_problemsByKey, false);
    const bool shown = dckProblems && !dckProblems->isHidden();
    // Ctrl+Shift+M goes to the list, and pressed there hides the panel; a
    // click on the item shows or hides it.
    if (byKey && shown && !dckProblems->isAncestorOf(QApplication::focusWidget()))
        showProblems(true);
    else if (!shown)
        showProblems(byKey);
    else {
        dckProblems->hide();
        rtfMain->setFocus();
    }
    mnuProblems->setChecked(dckProblems && !dckProblems->isHidden());
    QSettings().setValue(problemsKey, mnuProblems->isChecked());
}

void FrmMainWindow::showProblems(bool focus)
{
    if (!dckProblems) {
        dckProblems = new ProblemsDock(this);
        const int dockedHeight = twips(2400);
        dckProblems->setFixedHeight(dockedHeight);
        addDockWidget(Qt::BottomDockWidgetArea, dckProblems);
        if (dckFindResults)
            tabifyDockWidget(dckFindResults, dckProblems);
        connect(dckProblems, &QDockWidget::topLevelChanged, this,
                [this, dockedHeight](bool floating) {
                    if (floating) {
                        dckProblems->setMinimumHeight(0);
                        dckProblems->setMaximumHeight(QWIDGETSIZE_MAX);
                    } else {
                        dckProblems->setFixedHeight(dockedHeight);
                    }
                    fitFindResults();
                });
        connect(dckProblems, &QDockWidget::visibilityChanged, this, &FrmMainWindow::fitFindResults);
        // Closed by its own button. Behind the Find in Files results' tab
        // it is hidden too, but still on.
        connect(dckProblems, &ProblemsDock::closed, this, [this] {
            mnuProblems->setChecked(false);
            QSettings().setValue(problemsKey, false);
        });
        connect(dckProblems, &ProblemsDock::problemActivated, this,
                [this](const QString &path, int line, int column) {
                    showFindResult(path, line, column - 1, 0);
                });
        connect(dckProblems, &ProblemsDock::checkDocumentRequested, this,
                &FrmMainWindow::checkProblems);
        connect(dckProblems, &ProblemsDock::checkFolderRequested, this, [this] {
            const QString start = QSettings()
                                      .value(folderKey,
                                             document->filePath().isEmpty()
                                                 ? QDir::homePath()
                                                 : QFileInfo(document->filePath()).absolutePath())
                                      .toString();
            const QString folder
                = QFileDialog::getExistingDirectory(this, QStringLiteral("Check Folder"), start);
            if (folder.isEmpty())
                return;
            QSettings().setValue(folderKey, folder);
            ModCheckOptions options = problemOptions();
            options.paths = QStringList{folder};
            dckProblems->checkFolder(options);
        });
    }
    dckProblems->show();
    dckProblems->raise();
    mnuProblems->setChecked(true);
    fitFindResults();
    checkProblems();
    if (focus)
        dckProblems->tvwProblems->setFocus();
}

ModCheckOptions FrmMainWindow::problemOptions() const
{
    ModCheckOptions options;
    options.hasDocument = true;
    options.documentPath = document->filePath();
    options.documentText = document->text();
    options.documentEncoding = document->encoding().name;
    return options;
}

void FrmMainWindow::checkProblems()
{
    m_problemsTimer->stop();
    // Nothing is checked while a file loads: the check follows its end.
    if (!dckProblems || !mnuProblems->isChecked() || document->isLoading())
        return;
    dckProblems->checkDocument(problemOptions());
}
