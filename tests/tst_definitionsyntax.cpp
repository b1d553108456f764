#include "definitionsyntax.h"

#include <QTest>

using namespace DefinitionSyntax;

// Spans written as "kind@start+length" (c comment, s separator, d directive,
// i include name, n number, q string), in order.
static QString written(const QList<Span> &spans)
{
    QStringList out;
    for (const Span &s : spans)
        out << QStringLiteral("%1@%2+%3").arg("csdinq"[int(s.kind)]).arg(s.start).arg(s.length);
    return out.join(u' ');
}

class TestDefinitionSyntax : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void spansOfLines_data();
    void spansOfLines();
};

void TestDefinitionSyntax::spansOfLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("spans");
    QTest::addColumn<QString>("include"); // where an include in /d/main.vyx points
    const auto row = [](const char *name, const QString &line, const char *spans,
                        const char *include = "") {
        QTest::newRow(name) << line << QString::fromLatin1(spans) << QString::fromUtf8(include);
    };
    // clang-format off
    row("comment after values", "Hull 5 hard// x", "n@5+1 c@11+4");
    row("bare //", "//", "c@0+2");
    row("separator, indented", "  //***  ", "s@2+5");
    row("separator with text", "//** x", "c@0+6");
    row("separator after values", "a //***", "c@2+5");
    row("include", "#include \".vyx\"", "d@0+8 i@9+6", "/d/.vyx");
    row("include with spaces", "#include \"my ships.vyx\" // x", "d@0+8 i@9+14 c@24+4", "/d/my ships.vyx");
    row("include with a path", "  #include\t\"sub\\w.vyx\"", "d@2+8 i@11+11", "/d/sub/w.vyx");
    row("include, no space", "#include\"a.vyx\"", "d@0+8 i@8+7", "/d/a.vyx");
    row("include from the parent", "#include \"..\\b.vyx\"", "d@0+8 i@9+10", "/b.vyx");
    row("include unterminated", "#include \"a.vyx", "d@0+8 q@9+6");
    row("include empty", "#include \"\"", "d@0+8 q@9+2");
    row("other directive", "#weapon \"Laser\" 12", "d@0+7 q@8+7 n@16+2");
    row("lone #", "#", "d@0+1");
    row("# not at the start", "a #b", "");
    row("#include in the middle", "x #include \"a.vyx\"", "q@11+7");
    row("numbers", "-5 +2 3.25 7. x-1 a2 2a 1.2.3 -1\"q\"", "n@0+2 n@3+2 n@6+4 n@16+1 n@30+2 q@32+3");
    row("// inside quotes", "\"http://x\" 1 \"a\"// c", "q@0+10 n@11+1 q@13+3 c@16+4");
    row("string unterminated", "\"open // no", "q@0+11");
    row("comment holds quotes", "// \"a\" 1", "c@0+8");
    row("non-latin", "\u0416 \u0661\u0662", "n@2+2");
    row("very long line", QString(65535, u'x') + " 42 // end", "n@65536+2 c@65539+6");
    // clang-format on
}

void TestDefinitionSyntax::spansOfLines()
{
    QFETCH(QString, line);
    QTEST(written(DefinitionSyntax::spans(line)), "spans");
    QTEST(resolveInclude("/d/main.vyx", DefinitionSyntax::include(line).name), "include");
}

QTEST_GUILESS_MAIN(TestDefinitionSyntax)
#include "tst_definitionsyntax.moc"
