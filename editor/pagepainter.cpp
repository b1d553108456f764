#include "pagepainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLine>
#include <QTextOption>

namespace {

// Line numbers and the header and footer in grey, which reads on white
// paper at over 5 : 1 and stays apart from the text.
const QColor marginInk(0x59, 0x59, 0x59);

} // namespace

PagePainter::PagePainter(const QPaintDevice *device, const Options &options, int lineCount,
                         LineSource source)
    : m_device(device)
    , m_options(options)
    , m_lineCount(lineCount)
    , m_source(std::move(source))
    // Sizes in points come out the same on paper at any resolution.
    , m_font(options.font, device)
    , m_marginFont(options.font, device)
{
    // No ligatures where the script does not need them: "fl" stays two
    // letters, as in the editor, and a PDF's text copies out as typed.
    m_font.setStyleStrategy(QFont::PreferNoShaping);
    m_marginFont.setStyleStrategy(QFont::PreferNoShaping);
    m_marginFont.setBold(false);
    m_marginFont.setItalic(false);
    const QFontMetricsF margin(m_marginFont, device);
    // A line of its own for the header and the footer, and half a line
    // between them and the text.
    m_headerHeight = margin.lineSpacing() * 1.5;
    m_footerHeight = margin.lineSpacing() * 1.5;
    if (options.lineNumbers) {
        const int last = options.firstLineNumber + qMax(0, lineCount - 1);
        m_gutter = margin.horizontalAdvance(QString::number(last)) + margin.averageCharWidth() * 2;
    }
    m_textWidth = qMax<qreal>(margin.averageCharWidth() * 4, device->width() - m_gutter);
    m_textHeight
        = qMax<qreal>(margin.lineSpacing(), device->height() - m_headerHeight - m_footerHeight);
    m_pages.push_back({0, 0});
}

void PagePainter::layOut(QTextLayout &layout, int line) const
{
    const Line source = m_source(line);
    layout.setText(source.text);
    layout.setFont(m_font);
    QTextOption option;
    // Long lines wrap on paper whatever Word Wrap does on screen; a word
    // longer than the page breaks where the page ends.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(QFontMetricsF(m_font, m_device).horizontalAdvance(QLatin1Char(' '))
                              * 8);
    layout.setTextOption(option);
    layout.setFormats(source.formats);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
        row.setLineWidth(m_textWidth);
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout.endLayout();
}

bool PagePainter::paginate(int lines)
{
    const int end = qMin(m_lineCount, m_placed + lines);
    for (; m_placed < end; ++m_placed) {
        QTextLayout layout(QString(), m_font, m_device);
        layOut(layout, m_placed);
        for (int row = 0; row < layout.lineCount(); ++row) {
            const qreal height = layout.lineAt(row).height();
            // A row that does not fit starts a page, unless the page is
            // empty: a row taller than a page goes on one of its own.
            if (m_y > 0 && m_y + height > m_textHeight) {
                m_pages.push_back({m_placed, row});
                m_y = 0;
            }
            m_y += height;
        }
    }
    return m_placed < m_lineCount;
}

void PagePainter::paintPage(QPainter &painter, int page)
{
    const Start start = m_pages.at(page);
    const Start end = page + 1 < pageCount() ? m_pages.at(page + 1) : Start{m_lineCount, 0};
    const qreal pageWidth = m_device->width();
    const qreal pageHeight = m_device->height();

    painter.save();
    painter.setFont(m_marginFont);
    painter.setPen(marginInk);
    const QFontMetricsF margin(m_marginFont, m_device);
    painter.drawText(QRectF(0, 0, pageWidth, margin.lineSpacing()), Qt::AlignLeft | Qt::AlignTop,
                     margin.elidedText(m_options.title, Qt::ElideMiddle, pageWidth));
    painter.drawText(QRectF(0, pageHeight - margin.lineSpacing(), pageWidth, margin.lineSpacing()),
                     Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("Page %1 of %2").arg(page + 1).arg(pageCount()));

    qreal y = m_headerHeight;
    for (int line = start.line; line < end.line || (line == end.line && end.row > 0); ++line) {
        QTextLayout layout(QString(), m_font, m_device);
        layOut(layout, line);
        const int firstRow = line == start.line ? start.row : 0;
        const int lastRow = line == end.line ? end.row : layout.lineCount();
        for (int row = firstRow; row < lastRow; ++row) {
            const QTextLine text = layout.lineAt(row);
            if (row == 0 && m_options.lineNumbers) {
                painter.setFont(m_marginFont);
                painter.setPen(marginInk);
                // On the first row's baseline, so that the number sits
                // level with its line in any font size.
                const qreal baseline = y + text.ascent();
                const QString number = QString::number(m_options.firstLineNumber + line);
                painter.drawText(QPointF(m_gutter - margin.averageCharWidth() * 2
                                             - margin.horizontalAdvance(number),
                                         baseline),
                                 number);
            }
            painter.setPen(Qt::black);
            text.draw(&painter, QPointF(m_gutter, y - text.y()));
            y += text.height();
        }
    }
    painter.restore();
}
