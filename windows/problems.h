#pragma once

#include "modcheck.h"

#include <QDockWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The Problems panel: under the text, the problems the check of a mod finds
// in the document's include tree or in a folder, one group per file, a row
// per problem (line, severity, message), and the command line's summary.
// Checks run on a thread of their own; only the last one started reports.
class ProblemsDock : public QDockWidget
{
    Q_OBJECT
public:
    explicit ProblemsDock(QWidget *parent);
    ~ProblemsDock() override;

    // Checks the document as options describe it. While a folder's results
    // are shown (they stay until Check Document), only the document's own
    // rows are checked again.
    void checkDocument(ModCheckOptions options);
    // Checks a folder and shows its results until Check Document.
    void checkFolder(const ModCheckOptions &options);
    void cancel();
    bool isChecking() const { return m_running != 0; }
    bool showsFolder() const { return m_folderMode; }

    QPushButton *cmdCheckFolder = nullptr;
    QPushButton *cmdCheckDocument = nullptr;
    QPushButton *cmdCancel = nullptr;
    QLabel *lblSummary = nullptr;
    QTreeWidget *tvwProblems = nullptr;

Q_SIGNALS:
    // A row was chosen (Enter, double click): show that place.
    void problemActivated(const QString &path, int line, int column);
    void checkFolderRequested();
    void checkDocumentRequested();
    void checkingChanged(bool checking);
    // Its close button: the panel is off.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void start(const ModCheckOptions &options, bool documentRows = false);
    void showResult(const ModCheckResult &result, const QString &base);
    // Puts the rows of result, a check of the document alone, in place of
    // the document's rows among a folder's.
    void replaceDocumentRows(const ModCheckResult &result, const QString &document);
    QTreeWidgetItem *addGroup(const CheckProblem &problem, int at);
    void addRow(QTreeWidgetItem *group, const CheckProblem &problem);
    // The command line's count, of the rows shown.
    void summarize();
    int m_files = 0; // checked for the rows shown
    QString m_base; // the folder the groups are named from
    void activate(QTreeWidgetItem *item);

    struct Run;
    QList<std::shared_ptr<Run>> m_runs; // every thread not yet ended
    quint64 m_running = 0; // the run whose results are wanted, while it runs
    bool m_folderMode = false;
};
