#include "frmhowtouse.h"

#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The help window's text, keys and design are checked with the About window's.
class TestHelpWindow : public QObject
{
    Q_OBJECT

    static FrmHowToUseWindow *openHelp()
    {
        frmMain().win()->mnuHowToUse->trigger();
        TestUtil::flushDeferredDeletes();
        return frmHowToUse().win();
    }

private Q_SLOTS:
    void init()
    {
        installHelpMenu();
        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
    }

    void cleanup()
    {
        frmHowToUse().unload();
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
    }

    // The editor comes back as a new one that remembers only its last paths;
    // the help page starts at the top at every visit.
    void roundTripBringsBackFreshEditor()
    {
        FrmMainWindow *editor = frmMain().win();
        editor->rtfMain->setText(QStringLiteral("// ship\r\n#include \"a.vyx\""));
        editor->rtfMain->document()->setModified(false);
        frmMain().setCaption(QStringLiteral("a.vyx"));
        editor->mnuPaste->setEnabled(true);
        frmMain().strLastopen = QStringLiteral("/data/a.vyx");
        frmMain().strLastsave = QStringLiteral("/data/b.vyx");
        bool asked = false; // a question would run its own event loop, and this timer in it
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&asked] {
            if (auto *question = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                asked = true, question->reject();
        });
        watch.start(0);
        FrmHowToUseWindow *help = openHelp();
        QVERIFY(!asked);
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(Form::loadedCount(), 1);
        help->txtHowToUse->moveCursor(QTextCursor::End);
        QVERIFY(help->txtHowToUse->verticalScrollBar()->value() > 0);

        QTest::mouseClick(help->cmdBack, Qt::LeftButton);
        TestUtil::flushDeferredDeletes();
        QCOMPARE(Form::loadedCount(), 1);
        editor = frmMain().win();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->rtfMain->Text(), QString());
        QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
        for (QAction *action : {editor->mnuCut, editor->mnuCopy, editor->mnuPaste})
            QVERIFY2(!action->isEnabled(), qPrintable(action->objectName()));
        QCOMPARE(frmMain().strLastopen, QStringLiteral("/data/a.vyx"));
        QCOMPARE(frmMain().strLastsave, QStringLiteral("/data/b.vyx"));

        help = openHelp();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->txtHowToUse->verticalScrollBar()->value(), 0);
        QCOMPARE(help->txtHowToUse->textCursor().position(), 0);
    }

    // Going to the help page drops the editor's text: unsaved work is asked about first.
    void modifiedDocumentAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("helpShown");
        QTest::addColumn<QByteArray>("onDisk");
        QTest::newRow("yes-saves-then-goes")
            << int(QMessageBox::Yes) << true << QByteArray("old\r\nnew");
        QTest::newRow("no-goes-without-saving")
            << int(QMessageBox::No) << true << QByteArray("old");
        QTest::newRow("cancel-stays") << int(QMessageBox::Cancel) << false << QByteArray("old");
    }

    void modifiedDocumentAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, helpShown);
        QFETCH(QByteArray, onDisk);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ship.vyx"));
        QVERIFY(TestUtil::writeBytes(path, "old"));
        frmMain().strLastopen = path;
        frmMain().documentPath = path;
        RichTextBox *rtf = frmMain().rtfMain();
        QVERIFY(rtf->LoadFile(path));
        rtf->moveCursor(QTextCursor::End);
        QTest::keyClick(rtf, Qt::Key_Return);
        QTest::keyClicks(rtf, QStringLiteral("new"));

        QString question;
        TestUtil::whenModalShows([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            question = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(QMessageBox::StandardButton(answer))->click();
        });
        frmMain().win()->mnuHowToUse->trigger();
        TestUtil::flushDeferredDeletes();

        QCOMPARE(question, QStringLiteral("VYX Editor 1.0|Save Changes?"));
        QCOMPARE(frmHowToUse().isLoaded(), helpShown);
        QCOMPARE(frmMain().isLoaded(), !helpShown);
        QCOMPARE(TestUtil::readBytes(path), onDisk);
        if (!helpShown)
            QCOMPARE(frmMain().rtfMain()->Text(), QStringLiteral("old\r\nnew"));
        frmMain().strLastopen.clear();
        if (frmMain().isLoaded())
            frmMain().rtfMain()->document()->setModified(false);
    }

    void closeBoxEndsProgram()
    {
        QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::lastFormUnloaded);
        openHelp()->close();
        QCOMPARE(Form::loadedCount(), 0);
        QCOMPARE(ended.count(), 1);
    }
};

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
