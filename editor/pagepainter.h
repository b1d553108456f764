#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <functional>
#include <vector>

class QPainter;
class QPaintDevice;

// Puts a document's lines on paper: each line with its own formats in the
// font given, wrapped to the page's width whatever the screen does, under a
// header with the document's name and above a footer "Page N of M", with
// the line numbers in a margin of their own when asked.
//
// The lines are laid out twice, once to find where each page starts and
// once to paint them, a slice at a time, so that a caller can show its
// progress and keep its window answering while a big document goes out.
class PagePainter
{
public:
    struct Line
    {
        QString text;
        QList<QTextLayout::FormatRange> formats;
    };
    // Line `index` (from 0) of those to print.
    using LineSource = std::function<Line(int index)>;

    struct Options
    {
        QFont font; // the text's, at its size on paper
        QString title; // the header
        bool lineNumbers = false;
        int firstLineNumber = 1; // the number printed beside line 0
    };

    // Pages of the device's size and resolution; device must stay while
    // this lays out or paints.
    PagePainter(const QPaintDevice *device, const Options &options, int lineCount,
                LineSource source);

    // Places up to `lines` more lines on pages; false once all are placed.
    bool paginate(int lines);
    int linesPlaced() const { return m_placed; }
    int lineCount() const { return m_lineCount; }
    // The pages so far; all of them once paginate() returned false.
    int pageCount() const { return int(m_pages.size()); }

    // Paints page `page` (from 0) with painter, which paints on a device
    // like the one given at construction.
    void paintPage(QPainter &painter, int page);

private:
    // Where a page starts: a line, and a row of its wrapped text.
    struct Start
    {
        int line;
        int row;
    };

    void layOut(QTextLayout &layout, int line) const;

    const QPaintDevice *m_device;
    Options m_options;
    int m_lineCount;
    LineSource m_source;
    QFont m_font;
    QFont m_marginFont;
    qreal m_headerHeight = 0;
    qreal m_footerHeight = 0;
    qreal m_gutter = 0;
    qreal m_textWidth = 0;
    qreal m_textHeight = 0;
    std::vector<Start> m_pages;
    int m_placed = 0;
    qreal m_y = 0; // how far the last page is filled
};
