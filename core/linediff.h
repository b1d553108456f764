#pragma once

#include "textcodec.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>

#include <atomic>
#include <memory>

// One difference between two texts: a run of lines of the left text that
// stands where the right text has another run (either may be empty). Of its
// lines, the first min(leftCount, rightCount) are changed; the rest are
// removed (left only) or added (right only).
struct LineDifference
{
    int leftStart = 0; // from 0
    int leftCount = 0;
    int rightStart = 0;
    int rightCount = 0;
    int changedLines() const { return qMin(leftCount, rightCount); }
    bool operator==(const LineDifference &o) const
    {
        return leftStart == o.leftStart && leftCount == o.leftCount && rightStart == o.rightStart
            && rightCount == o.rightCount;
    }
};

struct LineDiffOptions
{
    // Blanks and tabs at the end of a line make no difference.
    bool ignoreTrailingBlanks = false;
};

// The lines of a text. CR LF, CR, LF and the document's own separators
// (U+2029, U+2028) end a line, so that line ends never differ; a line end at
// the very end of the text starts no line of its own.
QList<QStringView> splitLines(QStringView text);

// The differences between two lists of lines, in order, found by Wu,
// Manber and Myers' O(NP) algorithm (Debian's libdtl) over ids given to the
// distinct lines. Empty, with *cancelled set, when cancel turns true first.
QList<LineDifference> diffLines(const QList<QStringView> &left, const QList<QStringView> &right,
                                const LineDiffOptions &options = {},
                                const std::atomic<bool> *cancel = nullptr,
                                bool *cancelled = nullptr);

// Within a changed line, the characters that differ: runs of each side, as
// start and length, found by the same algorithm over the characters (a
// kept byte is one). Lines longer than maxLineLength are marked whole.
struct CharacterMarks
{
    QList<std::pair<int, int>> left;
    QList<std::pair<int, int>> right;
};
CharacterMarks diffCharacters(QStringView left, QStringView right, int maxLineLength = 4096);

// A row of the two texts side by side: the line shown on each side (from 0;
// -1 where the other side's line leaves a gap) and what it is.
struct CompareRow
{
    enum Kind : quint8 { Same, Changed, Removed, Added };
    int left = -1;
    int right = -1;
    Kind kind = Same;
};

// Two texts compared: their lines, the differences, and the rows that show
// them aligned.
struct LineComparison
{
    QString leftText;
    QString rightText;
    QList<QStringView> leftLines; // views into leftText
    QList<QStringView> rightLines;
    LineDiffOptions options;
    QList<LineDifference> differences;
    QList<CompareRow> rows;
    QList<int> differenceRows; // the first row of each difference
    bool cancelled = false;
    QString errorString; // the right file could not be read
};

// The rows of two texts of leftLines and rightLines lines with these differences.
QList<CompareRow> alignRows(const QList<LineDifference> &differences, int leftLines, int rightLines,
                            QList<int> *differenceRows = nullptr);

// Reads a file as Open reads it: rich text by its text, anything else decoded
// by the detection of textcodec.h, every byte kept. With an encoding (that
// of a document read from this file) the file is read as plain text in it,
// as Reopen with Encoding read it: a file in a legacy encoding would
// otherwise differ on every line that is not ASCII. False, with *error,
// when it cannot be read, is larger than maxSize or has a line longer than
// maxLineLength.
bool readTextFile(const QString &path, qint64 maxSize, qsizetype maxLineLength, QString *text,
                  QString *error, const FileEncoding *encoding = nullptr);

// Compares a text with a file on a thread of its own, so that the window
// stays free to take input. Starting again or destroying the object drops
// the comparison running: nothing of it arrives any more.
class LineCompare : public QObject
{
    Q_OBJECT
public:
    explicit LineCompare(QObject *parent = nullptr);
    ~LineCompare() override;

    // The file is read as readTextFile() reads it, in encoding when given.
    void start(const QString &leftText, const QString &rightPath, const LineDiffOptions &options,
               qint64 maxFileSize, qsizetype maxLineLength, const FileEncoding *encoding = nullptr);
    void cancel();
    bool isRunning() const { return m_current != 0; }

Q_SIGNALS:
    // Lines given their ids so far, at most a few times a second.
    void progress(int lines);
    void finished(std::shared_ptr<const LineComparison> comparison);

private:
    struct Run;
    QList<std::shared_ptr<Run>> m_runs; // every thread not yet ended
    quint64 m_current = 0;
};
