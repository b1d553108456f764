#include "document.h"
#include "frmmain.h"

#include "includecompleter.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QCompleter>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

QString text()
{
    return rtf()->model()->text(QLatin1String("\n"));
}

QAbstractItemView *list()
{
    return TestUtil::part<QCompleter>(win(), "includeCompleter")->popup();
}

QStringList namesShown()
{
    QStringList names;
    QAbstractItemModel *model = list()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names.append(model->index(row, 0).data().toString());
    return names;
}

} // namespace

class TestCommentInclude : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(TestUtil::showEditor()); }
    void cleanup() { TestUtil::closeEditor(); }

    void toggleComment_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("selected");
        const QString longLine(Document::maxLineLength - 1, u'x');
        // clang-format off
        QTest::newRow("caret's line") << "a\nb" << 3 << 3 << "a\n//b" << "";
        QTest::newRow("mixed lines") << "//a\n  b\n//c" << 0 << 11 << "////a\n//  b\n////c" << "////a\n//  b\n////c";
        QTest::newRow("all commented, blanks, separator") << "  // a\n\n\t//b\n//*****" << 15 << 1 << "   a\n\n\tb\n//*****" << "  a\n\n\tb\n//";
        QTest::newRow("ends at a line start") << "a\nb\nc" << 0 << 4 << "//a\n//b\nc" << "//a\n//b\n";
        QTest::newRow("blanks and separators only") << "\n  //**\n" << 0 << 8 << "\n  //**\n" << "\n  //**\n";
        QTest::newRow("line limit") << longLine + "\nb" << 0 << 4 << longLine + "\nb" << "xxxx";
        // clang-format on
    }

    // One key toggles, as one undo step, with the selection over the same lines.
    void toggleComment()
    {
        QFETCH(QString, before);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QString, after);
        rtf()->setText(before);
        QTextCursor selection = rtf()->textCursor();
        selection.setPosition(anchor);
        selection.setPosition(position, QTextCursor::KeepAnchor);
        rtf()->setTextCursor(selection);
        const bool tooLong = before.size() > Document::maxLineLength;
        QString warning;
        if (tooLong) {
            TestUtil::whenModalShows([&warning](QWidget *modal) {
                warning = modal->property("text").toString();
                modal->close();
            });
        }
        QTest::keyClick(rtf(), Qt::Key_Slash, Qt::ControlModifier);

        QCOMPARE(text(), after);
        QTEST(rtf()->textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n'),
              "selected");
        QCOMPARE(warning.contains("too long"), tooLong);
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(text(), before);
    }

    // A rich-text document keeps its bold words through a toggle and back.
    void toggleKeepsFormatting()
    {
        QVERIFY(
            TestUtil::shownDocument()->load(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf"));
        const QString before = text();
        TestUtil::menuItem("mnuSelectAll")->trigger();
        TestUtil::menuItem("mnuToggleComment")->trigger();
        QVERIFY(text().startsWith("//Plain start bold"));
        QVERIFY(rtf()->hasFormatting());
        QTextCursor bold(rtf()->document());
        bold.setPosition(int(text().indexOf("bold")) + 1);
        QCOMPARE(bold.charFormat().fontWeight(), QFont::Bold);
        TestUtil::menuItem("mnuToggleComment")->trigger();
        QCOMPARE(text(), before);
    }

    // The names come up when the quote is typed, with Include Line, and on
    // Ctrl+Space; they narrow as the name is typed, and Enter or Tab write one.
    void includeNames()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        for (const char *file : {"main.vyx", "ships.vyx", "sub/laser.vyx"})
            QVERIFY(TestUtil::writeBytes(dir.filePath(file), ""));
        QVERIFY(win()->openDocument(dir.filePath("main.vyx")));

        QTest::keyClicks(rtf(), "#include \"");
        QTRY_VERIFY(list()->isVisible());
        QCOMPARE(namesShown(), QStringList({"ships.vyx", "sub/laser.vyx"}));
        QCOMPARE(QAccessible::queryAccessibleInterface(list())->text(QAccessible::Name),
                 QStringLiteral("Include names"));
        QTest::keyClicks(list(), "LA");
        QCOMPARE(list()->model()->rowCount(), 1);
        QTest::keyClick(list(), Qt::Key_Return);
        QVERIFY(!list()->isVisible());
        QCOMPARE(text(), "#include \"sub/laser.vyx");
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(text(), "#include \"LA");

        QTest::keyClick(rtf(), Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(list()->isVisible());
        QTest::keyClick(list(), Qt::Key_Escape);
        QVERIFY(!list()->isVisible());

        rtf()->moveCursor(QTextCursor::End);
        QTest::keyClick(rtf(), Qt::Key_Return);
        TestUtil::menuItem("mnuInclude")->trigger();
        QVERIFY(list()->isVisible());
        QCOMPARE(namesShown(), QStringList({"ships", "sub/laser"}));
        QTest::keyClick(list(), Qt::Key_Tab);
        QCOMPARE(text(), "#include \"LA\n#include \"ships.vyx\"");

        // A document never saved has no folder to offer names from.
        rtf()->document()->setModified(false);
        TestUtil::menuItem("mnuNew")->trigger();
        QTest::keyClicks(rtf(), "#include \"");
        QCoreApplication::processEvents();
        QTest::keyClick(rtf(), Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(!list()->isVisible());
    }
};

QTEST_MAIN(TestCommentInclude)
#include "tst_commentinclude.moc"
