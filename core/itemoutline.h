#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

// The items of a definition file. Item separator lines split the text into
// stretches; a stretch with a line that has text, once a leading "//" and
// the blanks around it are gone, is an item, named by its first such line.
// Comment lines count: modders often name an item in a comment above it.

struct OutlineItem
{
    int line = 0; // the line of its label, from 0
    QString label;
    friend bool operator==(const OutlineItem &a, const OutlineItem &b)
    {
        return a.line == b.line && a.label == b.label;
    }
};

// Where an outline reads the lines of a text, in whatever order it needs them.
class OutlineLines
{
public:
    virtual ~OutlineLines() = default;
    // Line number (from 0), without its line end.
    virtual QString line(int number) = 0;
};

// The items of a text that is read a slice at a time and then follows its
// edits, reading only the lines an edit touched (and, where an edit took away
// an item's label, the lines after it up to the next text or separator).
class ItemOutline
{
public:
    // Labels are cut to this many characters.
    static constexpr int maxLabelLength = 80;
    // An edit that spans more lines is read again by scan() instead.
    static constexpr int maxChangeLines = 4096;

    // The label a line gives its item; empty when it has no text once a
    // leading "//" and blanks are removed, or when it is a separator.
    static QString label(QStringView line);

    // How the rows (items, in order) changed: removed rows from first on
    // became inserted rows. Rows that only moved to other lines are no change.
    struct RowChange
    {
        int first = 0;
        int removed = 0;
        int inserted = 0;
    };

    void clear();
    // Lines [0, scannedLines()) have been read; edits below that line are
    // followed, those beyond it are read by the next scan().
    int scannedLines() const { return m_scanned; }
    // Reads up to maxLines more of a text of lineCount lines. Returns the
    // number of items found, added as rows at the end.
    int scan(OutlineLines &lines, int lineCount, int maxLines);
    // Lines first..lastBefore (inclusive) of the text became first..lastAfter.
    RowChange change(OutlineLines &lines, int first, int lastBefore, int lastAfter);

    const std::vector<OutlineItem> &items() const { return m_items; }
    // The row of the item whose stretch holds line; a separator line ends
    // the stretch above it. -1 when that stretch is no item (or not read yet).
    int rowOfLine(int line) const;

private:
    RowChange truncate(int first);

    std::vector<int> m_separators; // their lines, in order
    std::vector<OutlineItem> m_items;
    int m_scanned = 0;
};

// The items of a whole text whose lines end in CR LF, CR or LF.
QList<OutlineItem> outlineItems(QStringView text);
