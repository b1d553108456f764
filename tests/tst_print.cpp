#include "frmmain.h"

#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QDir>
#include <QLineEdit>
#include <QPrintDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString &pdf)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                          QRegularExpression::MultilineOption);
    return pages.match(run(QStringLiteral("pdfinfo"), {pdf})).captured(1).toInt();
}

// What a PDF says, as `pdftotext -layout` reads it, its blank runs collapsed:
// its text without the header (which must be `title`), the footers (which
// must count the pages) and the line numbers (which must count up from
// `firstNumber`, or be absent with 0). What differs goes to `problems`.
QString readPdf(const QString &pdf, const QString &title, int firstNumber, QString *problems)
{
    const int pages = pdfPages(pdf);
    const QStringList printed
        = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
              .split(u'\f');
    static const QRegularExpression numbered(QStringLiteral("^\\s*(\\d+)(\\s.*)?$"));
    QStringList text;
    int next = firstNumber;
    for (int page = 0; page < pages; ++page) {
        QStringList lines = printed.value(page).trimmed().split(u'\n');
        const QString footer = QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages);
        if (lines.first().trimmed() != title || lines.last().trimmed() != footer)
            *problems += lines.first() + u'|' + lines.last() + u'\n';
        for (QString line : lines.mid(1, lines.size() - 2)) {
            const QRegularExpressionMatch number = numbered.match(line);
            if (firstNumber > 0 && number.hasMatch() && number.captured(1).toInt() == next) {
                line = number.captured(2);
                ++next;
            }
            text << line;
        }
    }
    return text.join(u' ').simplified();
}

QStringList numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("Ship%1 = %2, \"hull\" // armour %3").arg(i).arg(i * 7).arg(i % 9);
    return lines;
}

} // namespace

class TestPrint : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("vyx-editor"));
        QVERIFY(QStandardPaths::isTestModeEnabled());
        installHelpMenu();
    }

    void init()
    {
        QSettings().clear();
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup() { TestUtil::closeEditor(); }

    // Exported, or printed to a PDF file with "Selection" chosen in the print
    // dialog, and read back.
    void pdfReadsBack_data()
    {
        QTest::addColumn<QString>("file"); // empty: typed into a new document
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("lineNumbers");
        QTest::addColumn<int>("selected"); // from this line to the 3rd after; -1: export all
        QTest::addColumn<int>("pages"); // 0: more than one
        const QStringList definitions{
            "//*****************************************************", "#include \"weapons.vyx\"",
            "", "Fighter = 120, 4.5, \"light // not a comment\"", "\tSpeed = 300 // per second"};
        const QString longLine = QStringLiteral("word ").repeated(600).trimmed();
        // clang-format off
        QTest::newRow("definition file") << "ship.vyx" << definitions << false << -1 << 1;
        QTest::newRow("with line numbers") << "ship.vyx" << definitions << true << -1 << 1;
        QTest::newRow("untitled") << "" << definitions << true << -1 << 1;
        QTest::newRow("long line wrapped") << "long.vyx" << QStringList{"before", longLine, "after"} << true << -1 << 1;
        QTest::newRow("several pages") << "fleet.vyx" << numberedLines(180) << true << -1 << 0;
        QTest::newRow("line wrapped across pages") << "across.vyx" << numberedLines(50) + QStringList{longLine, "after"} << true << -1 << 2;
        QTest::newRow("rich text") << "notes.rtf" << QStringList{"Bold here", "and plain"} << false << -1 << 1;
        QTest::newRow("selection printed") << "fleet.vyx" << numberedLines(12) << true << 4 << 1;
        // clang-format on
    }

    void pdfReadsBack()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QFETCH(bool, lineNumbers);
        QFETCH(int, selected);
        QFETCH(int, pages);
        QTemporaryDir dir;
        FrmMainWindow *w = frmMain().win();
        if (TestUtil::menuItem("mnuLineNumbers")->isChecked() != lineNumbers)
            TestUtil::menuItem("mnuLineNumbers")->trigger();
        if (file.isEmpty()) {
            frmMain().rtfMain()->setText(lines.join(u'\n'));
        } else {
            QByteArray bytes = lines.join(QStringLiteral("\r\n")).toUtf8();
            if (file.endsWith(".rtf"))
                bytes = "{\\rtf1\\ansi{\\b " + lines.value(0).toUtf8() + "}\\par "
                    + lines.value(1).toUtf8() + "}";
            QVERIFY(TestUtil::writeBytes(dir.filePath(file), bytes));
            QVERIFY(w->openDocument(dir.filePath(file)));
        }
        const QString pdf = dir.filePath("out.pdf");
        if (selected < 0) {
            QVERIFY(w->exportPdf(pdf));
        } else {
            // From inside line `selected` to the start of the third line
            // after it: the three lines the selection touches.
            QTextCursor cursor(frmMain().rtfMain()->document());
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::MoveAnchor, selected);
            cursor.movePosition(QTextCursor::Right);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 3);

            frmMain().rtfMain()->setTextCursor(cursor);
            TestUtil::whenModalShows([&](QWidget *modal) {
                auto *selection = modal->findChild<QRadioButton *>("printSelection");
                auto *name = modal->findChild<QLineEdit *>("filename");
                if (selection && selection->isEnabled() && name) {
                    selection->setChecked(true);
                    name->setText(pdf);
                }
                static_cast<QDialog *>(modal)->accept();
            });
            TestUtil::menuItem("mnuPrint")->trigger();
            lines = lines.mid(selected, 3);
        }
        QString problems;
        const QString text = readPdf(pdf, file.isEmpty() ? "Untitled" : file,
                                     lineNumbers ? qMax(1, selected + 1) : 0, &problems);
        QCOMPARE(problems, QString());
        QCOMPARE(text, lines.join(u' ').simplified());
        if (pages > 0)
            QCOMPARE(pdfPages(pdf), pages);
        else
            QVERIFY(pdfPages(pdf) > 1);
    }

    // An export that cannot be completed leaves no file, or the one there
    // before, and says why (nothing when the user cancelled).
    void failedExport_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("said");
        // clang-format off
        QTest::newRow("folder is a file") << "plain.txt/out.pdf" << 3 << "Cannot export \"%1\": Not a directory";
        QTest::newRow("cancelled") << "old.pdf" << 8000 << "";
        // clang-format on
    }

    void failedExport()
    {
        QFETCH(QString, target);
        QFETCH(int, lines);
        QFETCH(QString, said);
        QTemporaryDir dir;
        QVERIFY(TestUtil::writeBytes(dir.filePath("plain.txt"), "kept"));
        QVERIFY(TestUtil::writeBytes(dir.filePath("old.pdf"), "old"));
        const QString path = dir.filePath(target);
        FrmMainWindow *w = frmMain().win();
        frmMain().rtfMain()->setText(numberedLines(lines).join(u'\n'));
        QString message;
        TestUtil::whenModalShows([&](QWidget *modal) {
            if (auto *progress = qobject_cast<QProgressDialog *>(modal)) {
                progress->cancel();
                return;
            }
            message = modal->property("text").toString();
            modal->close();
        });
        QVERIFY(!w->exportPdf(path));
        QCOMPARE(message, said.isEmpty() ? QString() : said.arg(path));
        QCOMPARE(TestUtil::readBytes(dir.filePath("plain.txt")), "kept");
        QCOMPARE(TestUtil::readBytes(dir.filePath("old.pdf")), "old");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).join(u' '), "old.pdf plain.txt");
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
