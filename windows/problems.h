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

    // Checks the document as options describe it, unless a folder's results
    // are shown: those stay until Check Document.
    void checkDocument(const ModCheckOptions &options);
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

private:
    void start(const ModCheckOptions &options);
    void showResult(const ModCheckResult &result, const QString &base);
    void activate(QTreeWidgetItem *item);

    struct Run;
    QList<std::shared_ptr<Run>> m_runs; // every thread not yet ended
    quint64 m_running = 0; // the run whose results are wanted, while it runs
    bool m_folderMode = false;
};
