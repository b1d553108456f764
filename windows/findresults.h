#pragma once

#include "filesearch.h"

#include <QDockWidget>

class FindResultsModel;
class QAction;
class QLabel;
class QModelIndex;
class QTableView;

// The results panel of Find in Files: under the text, one group per file,
// a row per line with matches (path, line number, the line as it stands
// with its matches marked). It runs the search it shows, so that results
// arrive straight into it while the search goes on.
class FindResultsDock : public QDockWidget
{
    Q_OBJECT
public:
    explicit FindResultsDock(QWidget *parent);

    // Clears the list and starts a search; a running one is dropped.
    void start(const FileSearchOptions &options);
    void cancel();
    bool isSearching() const;

    // Makes the next (step 1) or previous (step -1) row current, around the
    // ends, and activates it. False when there are no rows.
    bool goToResult(int step);
    // Escape in the list goes back to the text; not while a file loads,
    // when Escape stops the load wherever the focus is.
    void setEscapeGoesBack(bool goesBack);

    // A table rather than a tree: its rows are laid out by a header of
    // uniform sections, so a batch of new rows costs the size of the batch.
    QTableView *tvwResults = nullptr;
    FindResultsModel *results = nullptr;
    QLabel *lblSummary = nullptr;

Q_SIGNALS:
    // A row was chosen (Enter, double click, F4): show that match.
    void resultActivated(const QString &path, int line, int column, int length);
    void searchingChanged(bool searching);
    // Escape in the list: the user wants to go on in the text.
    void backToTextRequested();
    void progress(int filesSearched);

private:
    void addHits(const QList<FileSearchHit> &hits);
    void finish(const FileSearchSummary &summary);
    void activate(const QModelIndex &index);

    FileSearch *m_search = nullptr;
    QAction *m_back = nullptr;
};
