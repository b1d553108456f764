#include "frmmain.h"

#include "document.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

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

// Words in order, every run of blanks one space.
QString collapsed(const QStringList &lines)
{
    return lines.join(u' ').simplified();
}

// What a PDF says, as `pdftotext -layout` reads it: the text lines without
// the header (checked to be `title`), the footers (checked to count the
// pages in order) and the line numbers (checked to count up from
// `firstNumber`, or to be absent with 0).
struct PdfText
{
    QStringList lines;
    QStringList problems;
};

PdfText readPdf(const QString &pdf, const QString &title, int firstNumber)
{
    PdfText out;
    const int pages = pdfPages(pdf);
    const QStringList printed
        = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
              .split(u'\f');
    static const QRegularExpression numbered(QStringLiteral("^\\s*(\\d+)(\\s.*)?$"));
    int next = firstNumber;
    for (int page = 0; page < pages; ++page) {
        QStringList lines = printed.value(page).split(u'\n');
        while (!lines.isEmpty() && lines.first().trimmed().isEmpty())
            lines.removeFirst();
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        if (lines.value(0).trimmed() != title)
            out.problems << QStringLiteral("page %1 header: %2").arg(page + 1).arg(lines.value(0));
        const QString footer = QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages);
        if (lines.value(lines.size() - 1).trimmed() != footer)
            out.problems << QStringLiteral("page %1 footer: %2").arg(page + 1).arg(lines.last());
        for (QString line : lines.mid(1, lines.size() - 2)) {
            const QRegularExpressionMatch number = numbered.match(line);
            if (firstNumber > 0 && number.hasMatch() && number.captured(1).toInt() == next) {
                line = number.captured(2);
                ++next;
            }
            out.lines << line;
        }
    }
    return out;
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

    void exportReadsBack_data()
    {
        QTest::addColumn<QString>("file"); // empty: typed into a new document
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("lineNumbers");
        QTest::addColumn<int>("pages"); // 0: more than one
        const QStringList definitions{
            "//*****************************************************", "#include \"weapons.vyx\"",
            "", "Fighter = 120, 4.5, \"light // not a comment\"", "\tSpeed = 300 // per second"};
        const QString longLine = QStringLiteral("word ").repeated(600).trimmed();
        // clang-format off
        QTest::newRow("definition file") << "ship.vyx" << definitions << false << 1;
        QTest::newRow("with line numbers") << "ship.vyx" << definitions << true << 1;
        QTest::newRow("untitled") << "" << definitions << true << 1;
        QTest::newRow("long line wrapped") << "long.vyx" << QStringList{"before", longLine, "after"} << true << 1;
        QTest::newRow("several pages") << "fleet.vyx" << numberedLines(180) << true << 0;
        QTest::newRow("rich text") << "notes.rtf" << QStringList{"Bold here", "and plain"} << false << 1;
        // clang-format on
    }

    void exportReadsBack()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        QFETCH(bool, lineNumbers);
        QFETCH(int, pages);
        QTemporaryDir dir;
        FrmMainWindow *w = frmMain().win();
        if (w->mnuLineNumbers->isChecked() != lineNumbers)
            w->mnuLineNumbers->trigger();
        if (file.isEmpty()) {
            w->rtfMain->setText(lines.join(u'\n'));
        } else {
            QByteArray bytes = lines.join(QStringLiteral("\r\n")).toUtf8();
            if (file.endsWith(".rtf"))
                bytes = "{\\rtf1\\ansi{\\b " + lines.value(0).toUtf8() + "}\\par "
                    + lines.value(1).toUtf8() + "}";
            QVERIFY(TestUtil::writeBytes(dir.filePath(file), bytes));
            QVERIFY(w->openDocument(dir.filePath(file)));
        }
        const QString pdf = dir.filePath("out.pdf");
        QVERIFY(w->exportPdf(pdf));

        const PdfText text = readPdf(pdf, file.isEmpty() ? "Untitled" : file, lineNumbers ? 1 : 0);
        QCOMPARE(text.problems.join(u'\n'), QString());
        QCOMPARE(collapsed(text.lines), collapsed(lines));
        if (pages > 0)
            QCOMPARE(pdfPages(pdf), pages);
        else
            QVERIFY(pdfPages(pdf) > 1);
    }

    // File > Print... with "Selection" chosen, printed to a PDF file: only
    // the lines the selection touches, numbered as in the document.
    void printSelection()
    {
        QTemporaryDir dir;
        FrmMainWindow *w = frmMain().win();
        const QStringList lines = numberedLines(12);
        QVERIFY(TestUtil::writeBytes(dir.filePath("fleet.vyx"), lines.join(u'\n').toUtf8()));
        QVERIFY(w->openDocument(dir.filePath("fleet.vyx")));
        QTextCursor cursor(w->rtfMain->document()->findBlockByNumber(4));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
        cursor.setPosition(w->rtfMain->document()->findBlockByNumber(7).position(),
                           QTextCursor::KeepAnchor);
        w->rtfMain->setTextCursor(cursor);
        const QString pdf = dir.filePath("printed.pdf");
        bool answered = false;
        TestUtil::whenModalShows([&](QWidget *modal) {
            auto *dialog = qobject_cast<QPrintDialog *>(modal);
            auto *selection = modal->findChild<QRadioButton *>("printSelection");
            auto *name = modal->findChild<QLineEdit *>("filename");
            answered = dialog && selection && selection->isEnabled() && name;
            if (!answered) {
                modal->close();
                return;
            }
            selection->setChecked(true);
            name->setText(pdf);
            static_cast<QDialog *>(dialog)->accept();
        });
        w->mnuPrint->trigger();
        QVERIFY(answered);
        const PdfText text = readPdf(pdf, "fleet.vyx", 5);
        QCOMPARE(text.problems.join(u'\n'), QString());
        QCOMPARE(collapsed(text.lines), collapsed(lines.mid(4, 3)));
    }

    // The preview shows at most 200 pages, and says so when there are more.
    void previewLimit_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("said");
        QTest::newRow("one page") << 20 << 1 << false;
        QTest::newRow("over 200 pages") << 15000 << 200 << true;
    }

    void previewLimit()
    {
        QFETCH(int, lines);
        QFETCH(int, shown);
        QFETCH(bool, said);
        FrmMainWindow *w = frmMain().win();
        w->rtfMain->setText(numberedLines(lines).join(u'\n'));
        int pages = -1;
        QString note;
        std::function<void(QWidget *)> answer = [&](QWidget *modal) {
            // The pages are made first, a big document's with a progress window.
            if (qobject_cast<QProgressDialog *>(modal)) {
                TestUtil::whenModalShows(answer, 60000);
                return;
            }
            auto *view = modal->findChild<QPrintPreviewWidget *>();
            auto *label = modal->findChild<QLabel *>("lblPreviewLimit");
            pages = view ? view->pageCount() : -1;
            note = label && label->isVisibleTo(modal) ? label->text() : QString();
            modal->close();
        };
        TestUtil::whenModalShows(answer, 60000);
        w->mnuPrintPreview->trigger();
        QCOMPARE(pages, shown);
        QCOMPARE(note.startsWith("The preview shows the first 200 of the document's"), said);
    }

    // Export as PDF offers NAME.pdf beside the document.
    void exportDialogName()
    {
        QTemporaryDir dir;
        FrmMainWindow *w = frmMain().win();
        QVERIFY(TestUtil::writeBytes(dir.filePath("ship.vyx"), "Fighter = 1\n"));
        QVERIFY(w->openDocument(dir.filePath("ship.vyx")));
        QString offered;
        TestUtil::whenModalShows([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            offered = dialog->selectedFiles().value(0);
            static_cast<QDialog *>(dialog)->accept();
        });
        w->mnuExportPdf->trigger();
        QCOMPARE(offered, dir.filePath("ship.pdf"));
        QCOMPARE(pdfPages(dir.filePath("ship.pdf")), 1);
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
        w->rtfMain->setText(numberedLines(lines).join(u'\n'));
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
