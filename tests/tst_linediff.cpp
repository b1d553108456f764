#include "linediff.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray utf16le(const char *text)
{
    const QString s = QString::fromUtf8(text);
    return QByteArray("\xFF\xFE")
        + QByteArray(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
}

// "1+1:1+3": from line 1 (from 0), one line of the left stands where the
// right has three.
QString describe(const QList<LineDifference> &differences)
{
    QStringList out;
    for (const LineDifference &d : differences)
        out << QStringLiteral("%1+%2:%3+%4")
                   .arg(d.leftStart)
                   .arg(d.leftCount)
                   .arg(d.rightStart)
                   .arg(d.rightCount);
    return out.join(u' ');
}

// A row a character: '=' the same, 'c' changed, '-' removed, '+' added.
QString describe(const QList<CompareRow> &rows)
{
    QString out;
    for (const CompareRow &row : rows)
        out += QStringLiteral("=c-+")[row.kind];
    return out;
}

QString describe(const QList<std::pair<int, int>> &runs)
{
    QStringList out;
    for (const auto &[start, length] : runs)
        out << QStringLiteral("%1+%2").arg(start).arg(length);
    return out.join(u' ');
}

} // namespace

class TestLineDiff : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // Two files read as Open reads them, compared: the differences, the rows
    // side by side, and the characters marked on the first changed row.
    void compareFiles_data()
    {
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<QByteArray>("right");
        QTest::addColumn<bool>("ignoreBlanks");
        QTest::addColumn<QString>("differences");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("marks"); // left | right

        QTest::newRow("same") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << false << ""
                              << "=="
                              << "";
        QTest::newRow("changed") << QByteArray("a\nb\nc\n") << QByteArray("a\nB\nc\n") << false
                                 << "1+1:1+1"
                                 << "=c="
                                 << "0+1|0+1";
        QTest::newRow("added-at-start")
            << QByteArray("b\nc\n") << QByteArray("a\nb\nc\n") << false << "0+0:0+1"
            << "+=="
            << "";
        QTest::newRow("removed-at-end")
            << QByteArray("a\nb\nc\n") << QByteArray("a\nb\n") << false << "2+1:2+0"
            << "==-"
            << "";
        QTest::newRow("changed-then-added")
            << QByteArray("a\nx\nz\n") << QByteArray("a\ny\ny2\ny3\nz\n") << false << "1+1:1+3"
            << "=c++="
            << "0+1|0+1";
        QTest::newRow("changed-then-removed")
            << QByteArray("p\nq\nr\ns\n") << QByteArray("P\ns\n") << false << "0+3:0+1"
            << "c--="
            << "0+1|0+1";
        QTest::newRow("scattered") << QByteArray("x\na\ny\nb\n") << QByteArray("a\nb\nz\n") << false
                                   << "0+1:0+0 2+1:1+0 4+0:2+1"
                                   << "-=-=+"
                                   << "";
        QTest::newRow("both-empty") << QByteArray() << QByteArray() << false << ""
                                    << ""
                                    << "";
        QTest::newRow("empty-left")
            << QByteArray() << QByteArray("a\r\nb\r\n") << false << "0+0:0+2"
            << "++"
            << "";
        QTest::newRow("empty-right") << QByteArray("a\nb") << QByteArray() << false << "0+2:0+0"
                                     << "--"
                                     << "";
        QTest::newRow("crlf-lf") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n") << false << ""
                                 << "=="
                                 << "";
        QTest::newRow("cr-lf-no-last-end")
            << QByteArray("a\rb") << QByteArray("a\nb\n") << false << ""
            << "=="
            << "";
        QTest::newRow("utf16-utf8") << utf16le("caf\u00e9\r\nna\u00efve\r\n")
                                    << QByteArray("caf\xc3\xa9\nna\xc3\xafve\n") << false << ""
                                    << "=="
                                    << "";
        QTest::newRow("1252-utf8")
            << QByteArray("caf\xe9\n") << QByteArray("caf\xc3\xa9\n") << false << ""
            << "="
            << "";
        QTest::newRow("kept-bytes-same")
            << QByteArray("\xc3\xa9 \xff\n") << QByteArray("\xc3\xa9 \xff\n") << false << ""
            << "="
            << "";
        // A kept byte is one character, and equals only the same byte.
        QTest::newRow("kept-bytes-differ") << QByteArray("\xc3\xa9 \xff x\n")
                                           << QByteArray("\xc3\xa9 \xfe x\n") << false << "0+1:0+1"
                                           << "c"
                                           << "2+1|2+1";
        QTest::newRow("marks-in-line") << QByteArray("Speed 10 Mass 3\n")
                                       << QByteArray("Speed 12 Mass 3 kg\n") << false << "0+1:0+1"
                                       << "c"
                                       << "7+1|7+1 15+3";
        QTest::newRow("blanks-counted")
            << QByteArray("a  \nb\n") << QByteArray("a\nb\t\n") << false << "0+2:0+2"
            << "cc"
            << "1+2|";
        QTest::newRow("blanks-ignored")
            << QByteArray("a  \nb\n") << QByteArray("a\nb\t\n") << true << ""
            << "=="
            << "";
        QTest::newRow("blanks-ignored-not-inside")
            << QByteArray("a b \n") << QByteArray("ab\n") << true << "0+1:0+1"
            << "c"
            << "1+1 3+1|";
    }

    void compareFiles()
    {
        QFETCH(QByteArray, left);
        QFETCH(QByteArray, right);
        QFETCH(bool, ignoreBlanks);
        const QString leftPath = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".l"));
        const QString rightPath = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".r"));
        QVERIFY(TestUtil::writeBytes(leftPath, left));
        QVERIFY(TestUtil::writeBytes(rightPath, right));
        QString leftText, rightText, error;
        QVERIFY(readTextFile(leftPath, 1 << 20, 100, &leftText, &error));
        QVERIFY(readTextFile(rightPath, 1 << 20, 100, &rightText, &error));
        const QList<QStringView> leftLines = splitLines(leftText);
        const QList<QStringView> rightLines = splitLines(rightText);
        LineDiffOptions options;
        options.ignoreTrailingBlanks = ignoreBlanks;
        const QList<LineDifference> differences = diffLines(leftLines, rightLines, options);
        QTEST(describe(differences), "differences");
        const QList<CompareRow> rows
            = alignRows(differences, int(leftLines.size()), int(rightLines.size()));
        QTEST(describe(rows), "rows");
        QString marks;
        for (const CompareRow &row : rows) {
            if (row.kind == CompareRow::Changed) {
                const CharacterMarks m = diffCharacters(leftLines[row.left], rightLines[row.right]);
                marks = describe(m.left) + u'|' + describe(m.right);
                break;
            }
        }
        QTEST(marks, "marks");
    }

    // A file Open would refuse is not compared either, and says why.
    void refusedFiles()
    {
        const QString path = m_dir.filePath(QStringLiteral("long.vyx"));
        QVERIFY(TestUtil::writeBytes(path, QByteArray(101, 'x')));
        QString text, error;
        QVERIFY(!readTextFile(path, 1 << 20, 100, &text, &error));
        QCOMPARE(error, QStringLiteral("It has a line longer than 100 characters."));
        QVERIFY(!readTextFile(m_dir.path(), 1 << 20, 100, &text, &error));
        QVERIFY(!error.isEmpty());
    }

    // Two files with nothing in common, compared with cancel already set,
    // stop at once with nothing found.
    void cancelled()
    {
        QStringList a, b;
        for (int i = 0; i < 2000; ++i) {
            a << QStringLiteral("a%1").arg(i % 50);
            b << QStringLiteral("a%1").arg(i % 70);
        }
        const QString left = a.join(u'\n');
        const QString right = b.join(u'\n');
        std::atomic<bool> cancel = true;
        bool wasCancelled = false;
        QVERIFY(
            diffLines(splitLines(left), splitLines(right), {}, &cancel, &wasCancelled).isEmpty());
        QVERIFY(wasCancelled);
        QVERIFY(!diffLines(splitLines(left), splitLines(right)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLineDiff)
#include "tst_linediff.moc"
