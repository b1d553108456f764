#include "problems.h"
#include "workerrun.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { LineColumn, SeverityColumn, MessageColumn };
enum Role { PathRole = Qt::UserRole, LineRole, ColumnRole };

} // namespace

// A check on a thread of its own. A dropped run is told to stop; the window
// waits for its thread only when it goes.
struct ProblemsDock::Run : WorkerRun
{
};

ProblemsDock::ProblemsDock(QWidget *parent)
    : QDockWidget(QStringLiteral("Problems"), parent)
{
    setObjectName(QStringLiteral("dckProblems"));
    setAccessibleName(windowTitle());
    setAllowedAreas(Qt::BottomDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);

    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("dckProblemsBody"));
    lblSummary = new QLabel(body);
    lblSummary->setObjectName(QStringLiteral("lblProblemsSummary"));
    cmdCheckFolder = new QPushButton(QStringLiteral("Check &Folder..."), body);
    cmdCheckFolder->setObjectName(QStringLiteral("cmdCheckFolder"));
    cmdCheckDocument = new QPushButton(QStringLiteral("Check &Document"), body);
    cmdCheckDocument->setObjectName(QStringLiteral("cmdCheckDocument"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), body);
    cmdCancel->setObjectName(QStringLiteral("cmdCancelCheck"));
    cmdCancel->setEnabled(false);
    tvwProblems = new QTreeWidget(body);
    tvwProblems->setObjectName(QStringLiteral("tvwProblems"));
    tvwProblems->setAccessibleName(QStringLiteral("Problems"));
    tvwProblems->setHeaderLabels(
        {QStringLiteral("Line"), QStringLiteral("Severity"), QStringLiteral("Message")});
    tvwProblems->setUniformRowHeights(true);
    tvwProblems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwProblems->setColumnWidth(LineColumn, 90);
    tvwProblems->setColumnWidth(SeverityColumn, 70);
    lblSummary->setBuddy(tvwProblems);

    auto *top = new QHBoxLayout;
    top->addWidget(lblSummary, 1);
    top->addWidget(cmdCheckFolder);
    top->addWidget(cmdCheckDocument);
    top->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(tvwProblems, 1);
    setWidget(body);

    connect(tvwProblems, &QTreeWidget::itemActivated, this, &ProblemsDock::activate);
    connect(cmdCheckFolder, &QPushButton::clicked, this, &ProblemsDock::checkFolderRequested);
    connect(cmdCheckDocument, &QPushButton::clicked, this, [this] {
        m_folderMode = false;
        Q_EMIT checkDocumentRequested();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &ProblemsDock::cancel);
}

ProblemsDock::~ProblemsDock()
{
    m_running = 0;
    for (const auto &run : m_runs)
        *run->cancel = true;
    m_runs.clear();
}

void ProblemsDock::checkDocument(ModCheckOptions options)
{
    if (!m_folderMode) {
        start(options);
    } else if (!m_running && !options.documentPath.isEmpty()) {
        options.followIncludes = false;
        start(options, true);
    }
}

void ProblemsDock::checkFolder(const ModCheckOptions &options)
{
    m_folderMode = true;
    start(options);
}

void ProblemsDock::cancel()
{
    for (const auto &run : m_runs)
        if (run->id == m_running)
            *run->cancel = true;
}

void ProblemsDock::start(const ModCheckOptions &options, bool documentRows)
{
    cancel();
    auto run = std::make_shared<Run>();
    static quint64 lastId = 0;
    run->id = ++lastId;
    m_running = run->id;
    const QString base = options.paths.isEmpty()
        ? QFileInfo(options.documentPath).absolutePath()
        : QFileInfo(options.paths.first()).absoluteFilePath();
    const QString document = QDir::cleanPath(QFileInfo(options.documentPath).absoluteFilePath());
    if (m_folderMode && !documentRows)
        lblSummary->setText(QStringLiteral("Checking..."));
    cmdCancel->setEnabled(true);
    Q_EMIT checkingChanged(true);
    const quint64 id = run->id;
    const std::shared_ptr<std::atomic<bool>> cancelled = run->cancel;
    run->thread.reset(QThread::create([this, id, cancelled, options, base, documentRows, document] {
        const bool folder = !options.paths.isEmpty();
        const ModCheckResult result = checkMod(options, *cancelled, [this, id, folder](int n) {
            if (!folder)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, id, n] {
                    if (m_running == id)
                        lblSummary->setText(QStringLiteral("Checking... %1 files checked").arg(n));
                },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this,
            [this, id, result, base, documentRows, document] {
                for (qsizetype i = 0; i < m_runs.size(); ++i) {
                    if (m_runs[i]->id == id) {
                        m_runs.removeAt(i);
                        break;
                    }
                }
                if (m_running != id)
                    return;
                m_running = 0;
                cmdCancel->setEnabled(false);
                if (result.cancelled)
                    lblSummary->setText(QStringLiteral("Check cancelled"));
                else if (documentRows)
                    replaceDocumentRows(result, document);
                else
                    showResult(result, base);
                Q_EMIT checkingChanged(false);
            },
            Qt::QueuedConnection);
    }));
    run->thread->setObjectName(QStringLiteral("Problems"));
    m_runs.append(run);
    run->thread->start();
}

void ProblemsDock::showResult(const ModCheckResult &result, const QString &base)
{
    // Keeps the row the user is on, by its place, across a new check.
    QString currentPath;
    int currentLine = 0;
    if (const QTreeWidgetItem *current = tvwProblems->currentItem()) {
        currentPath = current->data(LineColumn, PathRole).toString();
        currentLine = current->data(LineColumn, LineRole).toInt();
    }
    tvwProblems->clear();
    m_base = base;
    QTreeWidgetItem *group = nullptr;
    for (const CheckProblem &problem : result.problems) {
        if (!group || group->data(LineColumn, PathRole).toString() != problem.filePath)
            group = addGroup(problem, tvwProblems->topLevelItemCount());
        addRow(group, problem);
        if (problem.filePath == currentPath && problem.line == currentLine)
            tvwProblems->setCurrentItem(group->child(group->childCount() - 1));
    }
    m_files = result.files;
    summarize();
}

void ProblemsDock::replaceDocumentRows(const ModCheckResult &result, const QString &document)
{
    int at = tvwProblems->topLevelItemCount();
    for (int i = 0; i < tvwProblems->topLevelItemCount(); ++i) {
        if (tvwProblems->topLevelItem(i)->data(LineColumn, PathRole).toString() == document) {
            at = i;
            delete tvwProblems->takeTopLevelItem(i);
            break;
        }
    }
    QTreeWidgetItem *group = nullptr;
    for (const CheckProblem &problem : result.problems) {
        if (problem.filePath != document)
            continue;
        if (!group)
            group = addGroup(problem, at);
        addRow(group, problem);
    }
    summarize();
}

QTreeWidgetItem *ProblemsDock::addGroup(const CheckProblem &problem, int at)
{
    const QString shown = problem.filePath.isEmpty()
        ? problem.path
        : QDir::toNativeSeparators(QDir(m_base).relativeFilePath(problem.filePath));
    auto *group = new QTreeWidgetItem({shown});
    tvwProblems->insertTopLevelItem(at, group);
    group->setData(LineColumn, PathRole, problem.filePath);
    group->setFirstColumnSpanned(true);
    group->setExpanded(true);
    return group;
}

void ProblemsDock::addRow(QTreeWidgetItem *group, const CheckProblem &problem)
{
    const bool error = problem.severity == CheckProblem::Severity::Error;
    auto *row = new QTreeWidgetItem(group,
                                    {QString::number(problem.line),
                                     error ? QStringLiteral("error") : QStringLiteral("warning"),
                                     problem.message});
    row->setData(LineColumn, PathRole, problem.filePath);
    row->setData(LineColumn, LineRole, problem.line);
    row->setData(LineColumn, ColumnRole, problem.column);
    row->setData(LineColumn, Qt::TextAlignmentRole, int(Qt::AlignRight | Qt::AlignVCenter));
    row->setToolTip(MessageColumn, problem.message);
}

void ProblemsDock::summarize()
{
    ModCheckResult counts;
    counts.files = m_files;
    for (int g = 0; g < tvwProblems->topLevelItemCount(); ++g) {
        const QTreeWidgetItem *group = tvwProblems->topLevelItem(g);
        for (int r = 0; r < group->childCount(); ++r)
            ++(group->child(r)->text(SeverityColumn) == u"error" ? counts.errors : counts.warnings);
    }
    lblSummary->setText(checkSummaryLine(counts));
}

void ProblemsDock::closeEvent(QCloseEvent *event)
{
    QDockWidget::closeEvent(event);
    Q_EMIT closed();
}

void ProblemsDock::activate(QTreeWidgetItem *item)
{
    if (!item || !item->parent())
        return;
    Q_EMIT problemActivated(item->data(LineColumn, PathRole).toString(),
                            item->data(LineColumn, LineRole).toInt(),
                            item->data(LineColumn, ColumnRole).toInt());
}
