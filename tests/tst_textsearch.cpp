#include "textsearch.h"

#include <QTest>
#include <QTextDocument>

class TestTextSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findAndReplaceAll_data();
    void findAndReplaceAll();
};

void TestTextSearch::findAndReplaceAll_data()
{
    QTest::addColumn<QString>("document"); // "\n" ends a line
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("options"); // "case", "word"
    QTest::addColumn<int>("start"); // of the first match; -1: none
    QTest::addColumn<QString>("replaced"); // the document after Replace All with "#"

    const QString pile = QStringLiteral("\U0001F4A9"); // f0 9f 92 a9 in UTF-8
    const QString keptA9 = QString(QChar(0xDCA9)); // the byte a9 kept as it was
    const QString bold = QStringLiteral("\U0001D400"); // a letter beyond U+FFFF
    // clang-format off
    QTest::newRow("kept-byte-not-half-pair") << pile + " " + keptA9 << keptA9 << "case" << 3 << pile + " #";
    QTest::newRow("word-goes-on-over-a-mark") << "cafe\u0301 cafe" << "cafe" << "word" << 6 << "cafe\u0301 #";
    QTest::newRow("word-after-non-bmp-letter") << bold + "bc bc" << "bc" << "word" << 5 << bold + "bc #";
    QTest::newRow("word-after-underscore") << "_hull hull" << "hull" << "word" << 6 << "_hull #";
    QTest::newRow("crlf-matches-a-line-end") << "one\ntwo\none" << "one\r\ntwo" << "" << 0 << "#\none";
    QTest::newRow("lf-matches-a-line-end") << "one\ntwo" << "e\nt" << "case" << 2 << "on#wo";
    // clang-format on
}

void TestTextSearch::findAndReplaceAll()
{
    QFETCH(QString, document);
    QFETCH(QString, what);
    QFETCH(QString, options);
    QTextDocument doc;
    doc.setPlainText(document);
    const SearchQuery query{what, options.contains("case"), options.contains("word")};

    // Each document holds one match at most: found alike from either end.
    QTextCursor end(&doc);
    end.movePosition(QTextCursor::End);
    for (const QTextCursor &from : {QTextCursor(&doc), end}) {
        const QTextCursor found = findText(&doc, query, from, from == end);
        QTEST(found.isNull() ? -1 : found.selectionStart(), "start");
        QVERIFY(found.isNull() || isMatch(found, query));
    }
    ReplaceAll replace(&doc, query, QStringLiteral("#"), false);
    QVERIFY(replace.prepare() && replace.apply());
    QTEST(doc.toPlainText(), "replaced");
}

QTEST_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
