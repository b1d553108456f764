#pragma once

#include "linediff.h"

#include <QPlainTextEdit>
#include <QWidget>

#include <memory>

class Document;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

// One side of the Compare window: the lines of one text, read-only, aligned
// with the other side's (a gap leaves an empty row without a number), each
// row on the colour of what it is, with the characters that differ within
// a changed line marked.
class ComparePane : public QPlainTextEdit
{
    Q_OBJECT
public:
    enum Side { Left, Right };
    ComparePane(Side side, QWidget *parent);

    // Shows the rows of this comparison (the text is filled in separately).
    void setComparison(std::shared_ptr<const LineComparison> comparison);
    // The line number shown on a row, from 1; 0 on a gap.
    int lineNumber(int row) const;
    // The colours rows of each kind are shown on, and that of the characters marked.
    QColor rowColour(CompareRow::Kind kind) const;
    QColor markColour() const;
    // The characters marked on a changed row, as start and length.
    QList<std::pair<int, int>> marks(int row) const;

Q_SIGNALS:
    // A double click on a line that has a number, from 1.
    void lineActivated(int line);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class CompareGutter;
    void paintGutter(QPaintEvent *event);
    void updateColours();
    void updateGutter();
    int gutterWidth() const;

    Side m_side;
    QWidget *m_gutter;
    std::shared_ptr<const LineComparison> m_comparison;
    QColor m_colours[4];
    QColor m_mark;
    QColor m_gap;
    // The characters marked on each changed row, worked out when first painted.
    mutable QHash<int, QList<std::pair<int, int>>> m_marks;
};

// The Compare window: the document (left) against another file (right),
// line by line, with the differences counted and stepped through.
class FrmCompare : public QWidget
{
    Q_OBJECT
public:
    FrmCompare(QWidget *owner, Document *document, const QFont &font);
    ~FrmCompare() override;

    // Compares the document as it stands with the file at rightPath, shown
    // as rightName; a comparison running is dropped.
    void compare(const QString &rightPath, const QString &rightName);

    // Makes the next (1) or previous (-1) difference current, around the ends.
    void goToDifference(int step);
    int currentDifference() const { return m_current; }
    bool isComparing() const;
    const LineComparison *comparison() const { return m_comparison.get(); }

    QLabel *lblSummary = nullptr;
    QLabel *lblCurrent = nullptr;
    QPushButton *cmdPrevious = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdCopy = nullptr;
    QCheckBox *chkIgnoreBlanks = nullptr;
    QFrame *fraProgress = nullptr;
    QLabel *lblProgress = nullptr;
    QPushButton *cmdCancel = nullptr;
    QLabel *lblLeft = nullptr;
    QLabel *lblRight = nullptr;
    ComparePane *txtLeft = nullptr;
    ComparePane *txtRight = nullptr;

Q_SIGNALS:
    // The comparison is shown (or failed, or was cancelled).
    void compared();
    // A double click on a line of the document, from 1.
    void documentLineActivated(int line);

private:
    void start();
    void showComparison(std::shared_ptr<const LineComparison> comparison);
    void fillStep();
    // Puts in the rows that differ from those of the comparison shown before.
    void replaceChangedRows(const LineComparison &old);
    void finishComparison();
    void showCurrent();
    void scrollToRow(int row);
    void copyToDocument();
    void updateButtons();

    Document *m_document;
    LineCompare *m_compare;
    QString m_rightPath;
    QString m_rightName;
    std::shared_ptr<const LineComparison> m_comparison;
    int m_current = -1;
    int m_filledRows = 0;
    int m_pendingRow = -1; // the row to go to once it is in
    // Set while the comparison no longer matches the text: an edit since it started.
    bool m_stale = false;
    int m_revision = 0; // the document's revision the comparison read
    bool m_copyWhenCompared = false;
    QTimer *m_showProgress;
    QTimer *m_fill;
    QTimer *m_follow;
};
