#include "itemoutline.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// Items written as "line:label", separated by " | ".
template<typename Items>
QString written(const Items &items)
{
    QStringList out;
    for (const OutlineItem &item : items)
        out << QStringLiteral("%1:%2").arg(item.line).arg(item.label);
    return out.join(QStringLiteral(" | "));
}

class ListLines : public OutlineLines
{
public:
    QStringList lines;
    QString line(int number) override { return lines.at(number); }
};

QStringList labels(const ItemOutline &outline)
{
    QStringList out;
    for (const OutlineItem &item : outline.items())
        out << item.label;
    return out;
}

} // namespace

class TestItemOutline : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void itemsOfTexts_data();
    void itemsOfTexts();
    void followsEdits_data();
    void followsEdits();
};

void TestItemOutline::itemsOfTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("items");
    QTest::addColumn<QString>("rows"); // the item of each line: its row, or "-"
    const QString surrogates = QString(79, u'a') + QStringLiteral("\U0001F600");
    // clang-format off
    QTest::newRow("labels") << "//****\r\nShip Arrow\r\nHull 5\r\n//****\r\n#ship \"Kestrel\"\r\n" << "1:Ship Arrow | 4:#ship \"Kestrel\"" << "-00011";
    QTest::newRow("before the first separator") << "// Fighters\r\n#include \"a.vyx\"\r\n//***\r\nHull 1" << "0:Fighters | 3:Hull 1" << "0001";
    QTest::newRow("comment-only item") << "//***\n// only a note\n//***\n" << "1:only a note" << "-00-";
    QTest::newRow("bare // lines") << "//***\n//\n  //  \nHull 2\n" << "3:Hull 2" << "-0000";
    QTest::newRow("blank stretches") << "\n\n//***\n   \n\t\n//***\n//***\nx" << "7:x" << "-------0";
    QTest::newRow("separators with blanks") << "  //***  \nA\n\t//*\t\nB" << "1:A | 3:B" << "-001";
    QTest::newRow("asterisks then text") << "//** x\nA\n//**\n//" << "0:** x" << "000-";
    QTest::newRow("only the first // goes") << "  ////  Laser  \n" << "0://  Laser" << "00";
    QTest::newRow("cut to 80") << QString(100, u'a') << "0:" + QString(80, u'a') << "0";
    QTest::newRow("cut before half a pair") << surrogates << "0:" + QString(79, u'a') << "0";
    QTest::newRow("CR only") << "//***\rA\rB\r//***\r\rC" << "1:A | 5:C" << "-00011";
    QTest::newRow("mixed line ends") << "A\r\n//***\rB\n//***\r\nC\n\r" << "0:A | 2:B | 4:C" << "0011222";
    QTest::newRow("empty") << "" << "" << "-";
    // clang-format on
}

void TestItemOutline::itemsOfTexts()
{
    QFETCH(QString, text);
    QTEST(written(outlineItems(text)), "items");
    ListLines lines;
    lines.lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    ItemOutline outline;
    outline.scan(lines, int(lines.lines.size()), INT_MAX);
    QString rows;
    for (int line = 0; line < lines.lines.size(); ++line) {
        const int row = outline.rowOfLine(line);
        rows += row < 0 ? QChar(u'-') : QChar(u'0' + row);
    }
    QTEST(rows, "rows");
}

void TestItemOutline::followsEdits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("read"); // lines read before the edit; -1 all
    QTest::addColumn<int>("first"); // lines first..last become the new lines
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("lines");
    // clang-format off
    QTest::newRow("typed in a label") << "//*\nAx\nB\n//*\nC" << -1 << 1 << 1 << "Axy";
    QTest::newRow("typed under a label") << "//*\nA\nB" << -1 << 2 << 2 << "Bz";
    QTest::newRow("label erased, the next line names") << "//*\nA\n\nB\n//*\nC" << -1 << 1 << 1 << "";
    QTest::newRow("label erased, nothing after") << "//*\nA\n\n//*\nC" << -1 << 1 << 1 << "//";
    QTest::newRow("separator typed") << "//*\nA\nB\nC" << -1 << 2 << 2 << "//*";
    QTest::newRow("separator erased") << "//*\nA\n//*\nB" << -1 << 2 << 2 << "x";
    QTest::newRow("separator erased, blank above") << "//*\n\n//*\nB\n//*\nC" << -1 << 2 << 2 << "";
    QTest::newRow("lines inserted at the start") << "A\n//*\nB" << -1 << 0 << 0 << "Z\n//*\nA";
    QTest::newRow("lines removed") << "A\n//*\nB\n//*\nC\n//*\nD" << -1 << 1 << 3 << "//*";
    QTest::newRow("label moved down") << "//*\nA\n//*\nB" << -1 << 0 << 0 << "//*\n";
    QTest::newRow("line end typed after a label") << "//*\nA\nB" << -1 << 1 << 1 << "A\n";
    QTest::newRow("beyond what was read") << "A\n//*\nB\n//*\nC" << 2 << 3 << 3 << "x";
    QTest::newRow("across the end of what was read") << "A\n//*\nB\nC" << 2 << 1 << 2 << "Q";
    QTest::newRow("within what was read") << "//*\nA\n//*\n\nB\n//*\nC" << 4 << 1 << 1 << "\nZ";
    // clang-format on
}

// After any edit the items are those of the text as it is now, and the rows
// the change reports turn the old list of labels into the new one.
void TestItemOutline::followsEdits()
{
    QFETCH(QString, text);
    QFETCH(int, read);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, lines);
    ListLines source;
    source.lines = text.split(u'\n');
    ItemOutline outline;
    outline.scan(source, int(source.lines.size()), read < 0 ? INT_MAX : read);
    const QStringList before = labels(outline);

    const QStringList added = lines.split(u'\n');
    source.lines = source.lines.mid(0, first) + added + source.lines.mid(last + 1);
    const ItemOutline::RowChange rows
        = outline.change(source, first, last, first + int(added.size()) - 1);
    const QStringList now = labels(outline);
    const QStringList after = before.mid(0, rows.first) + now.mid(rows.first, rows.inserted)
        + before.mid(rows.first + rows.removed);
    QCOMPARE(after, now);

    outline.scan(source, int(source.lines.size()), INT_MAX);
    QCOMPARE(written(outline.items()), written(outlineItems(source.lines.join(u'\n'))));
}

QTEST_GUILESS_MAIN(TestItemOutline)
#include "tst_itemoutline.moc"
