#include "frmabout.h"
#include "frmhowtouse.h"
#include "frmmain.h"
#include "metrics.h"
#include "testutil.h"

#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

// The windows at scale 2.5 on a laptop's 1366 x 768 screen: 546 x 307 logical pixels, less
// than the height of any of them as designed.
class TestSmallScreen : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        qputenv("QT_SCALE_FACTOR", "2.5");
        qputenv("QT_QPA_PLATFORM",
                "offscreen:configfile=" VYX_TEST_DATA_DIR "/screen-1366x768.json");
    }

private Q_SLOTS:
    void placeOnScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("placed"); // on a screen of 1366 x 768
        QTest::newRow("fits") << QRect(133, 134, 556, 480) << QRect(133, 134, 556, 480);
        QTest::newRow("off the bottom") << QRect(133, 307, 556, 480) << QRect(133, 288, 556, 480);
        QTest::newRow("off the left") << QRect(-900, 10, 556, 480) << QRect(0, 10, 556, 480);
        QTest::newRow("too tall") << QRect(133, 134, 556, 900) << QRect(133, 0, 556, 768);
        QTest::newRow("off the screen") << QRect(3000, 2000, 556, 480) << QRect(810, 288, 556, 480);
    }

    void placeOnScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, placed);
        QCOMPARE(::placeOnScreen(frame, QRect(0, 0, 1366, 768)), placed);
    }

    void windowsFit_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QPoint>("remembered"); // the editor's place from an earlier start
        QTest::newRow("editor") << "editor" << QPoint();
        QTest::newRow("editor left off the screen") << "editor" << QPoint(5000, 4000);
        QTest::newRow("How to use") << "help" << QPoint();
        QTest::newRow("About") << "about" << QPoint();
    }

    // Each window inside the screen, its buttons and text inside the window.
    void windowsFit()
    {
        QFETCH(QString, window);
        QFETCH(QPoint, remembered);
        QSettings().clear();
        if (!remembered.isNull())
            QSettings().setValue("MainWindow/position", remembered);
        Form &form = window == "editor" ? static_cast<Form &>(frmMain())
            : window == "help"          ? static_cast<Form &>(frmHowToUse())
                                        : static_cast<Form &>(frmAbout());
        form.show();
        QWidget *w = form.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->screen()->availableGeometry().size(), QSize(546, 307));
        QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));
        QCOMPARE(w->minimumSize() == w->maximumSize(), window != "help");
        for (QWidget *control : w->findChildren<QWidget *>()) {
            if (control->isVisible()
                && (qobject_cast<QPushButton *>(control) || control->objectName() == "rtfMain"))
                QVERIFY2(w->rect().contains(QRect(control->mapTo(w, QPoint()), control->size())),
                         qPrintable(control->objectName()));
        }
        form.unload();
        TestUtil::flushDeferredDeletes();
    }

    // A fixed window wider than the screen gives up the width missing: what lies in its right
    // half moves left by it, what spans most of the window narrows by it, the rest stays.
    void controlsFollowANarrowerWindow()
    {
        QWidget window;
        window.setFixedSize(800, 200);
        const QList<QRect> designed
            = {{10, 10, 100, 30}, {250, 10, 100, 30}, {650, 10, 100, 30}, {10, 50, 780, 100}};
        QList<QWidget *> controls;
        for (const QRect &g : designed) {
            controls << new QPushButton(&window);
            controls.last()->setGeometry(g);
        }
        window.show();
        fitOnScreen(&window);
        const int dx = 800 - window.width();
        QVERIFY(dx > 0);
        QCOMPARE((QList<int>{controls[0]->x(), controls[1]->x(), controls[2]->x(),
                             controls[3]->width()}),
                 (QList<int>{10, 250, 650 - dx, 780 - dx}));
    }
};

QTEST_MAIN(TestSmallScreen)
#include "tst_smallscreen.moc"
