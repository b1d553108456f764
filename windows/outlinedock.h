#pragma once

#include <QDockWidget>

class OutlineModel;
class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QSortFilterProxyModel;

// The Outline: at the left of the text, the document's items, one row each,
// under a filter field, with how many there are under the rows. The row of
// the item that holds the caret is selected as the caret moves; taking a row
// (Enter, or a click) asks the window to show that item.
class OutlineDock : public QDockWidget
{
    Q_OBJECT
public:
    OutlineDock(OutlineModel *model, QWidget *parent);

    QLabel *lblFilter = nullptr;
    QLineEdit *txtFilter = nullptr;
    QListView *lstItems = nullptr;
    QLabel *lblCount = nullptr;

    // Selects the row of the item that holds line (from 0), if it is shown.
    void followLine(int line);
    // Puts the focus in the filter field, its text selected.
    void focusFilter();
    // While false (during a load) Escape is left to the window.
    void setEscapeGoesBack(bool goesBack) { m_escapeGoesBack = goesBack; }

Q_SIGNALS:
    // A row was taken: the item whose label is on line (from 0). A click
    // leaves the focus in the list; Enter wants it in the text.
    void itemTaken(int line, bool byClick);
    // Escape: the user wants to go on in the text.
    void backToTextRequested();
    // The close button: the user does not want the Outline any more.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void filter(const QString &text);
    void rowsChanged();
    void select(const QModelIndex &row);
    void take(const QModelIndex &row, bool byClick);

    OutlineModel *m_model;
    QSortFilterProxyModel *m_shown;
    int m_caretLine = 0;
    bool m_escapeGoesBack = true;
};
