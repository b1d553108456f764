#include "form.h"

#include "testutil.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

class TestForm : public Form
{
public:
    QString field;
    int created = 0;
    bool allowClose = true;
    QPointer<QPushButton> button;

protected:
    QWidget *createWindow() override
    {
        ++created;
        auto *w = new QWidget;
        w->setWindowTitle(QStringLiteral("design caption"));
        button = new QPushButton(QStringLiteral("Close."), w);
        connect(button, &QPushButton::clicked, this, [this] {
            unload();
            // The handler goes on after its own window was unloaded.
            field = QStringLiteral("after unload");
        });
        return w;
    }
    bool queryClose() override { return allowClose; }
};

} // namespace

class TestFormLifecycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loadIsIdempotent();
    void stateSurvivesReloadWindowStartsAfresh();
    void unloadFromOwnHandlerIsSafe();
    void lastUnloadEndsProgram();
    void closeBoxAsksQueryClose();
    void showModalReturnsAfterUnload();
};

void TestFormLifecycle::loadIsIdempotent()
{
    TestForm form;
    form.load();
    QWidget *w = form.window();
    form.load();
    QCOMPARE(form.window(), w);
    QCOMPARE(form.created, 1);
    QVERIFY(!w->isVisible());
    form.unload();
}

void TestFormLifecycle::stateSurvivesReloadWindowStartsAfresh()
{
    TestForm form;
    form.show();
    form.field = QStringLiteral("kept");
    form.setCaption(QStringLiteral("run-time caption"));
    QPointer<QWidget> first = form.window();
    form.unload();
    QVERIFY(!form.isLoaded());
    TestUtil::flushDeferredDeletes();
    QVERIFY(first.isNull());
    form.show();
    QCOMPARE(form.field, QStringLiteral("kept"));
    QCOMPARE(form.caption(), QStringLiteral("design caption"));
    QCOMPARE(form.created, 2);
    form.unload();
}

void TestFormLifecycle::unloadFromOwnHandlerIsSafe()
{
    TestForm form;
    form.show();
    QPointer<QWidget> w = form.window();
    QTest::mouseClick(form.button, Qt::LeftButton);
    QVERIFY(!form.isLoaded());
    QCOMPARE(form.field, QStringLiteral("after unload"));
    TestUtil::flushDeferredDeletes();
    QVERIFY(w.isNull());
}

void TestFormLifecycle::lastUnloadEndsProgram()
{
    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::lastFormUnloaded);
    TestForm a, b;
    a.show();
    b.show();
    a.unload();
    QCOMPARE(ended.count(), 0);
    b.unload();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(Form::loadedCount(), 0);
}

void TestFormLifecycle::closeBoxAsksQueryClose()
{
    TestForm form;
    form.show();
    form.allowClose = false;
    form.window()->close();
    QVERIFY(form.isLoaded());
    QVERIFY(form.window()->isVisible());
    form.allowClose = true;
    form.window()->close();
    QVERIFY(!form.isLoaded());
}

void TestFormLifecycle::showModalReturnsAfterUnload()
{
    TestForm modal;
    TestForm other;
    other.show();
    bool blockedMeanwhile = false;
    TestUtil::whenModalShows([&](QWidget *w) {
        blockedMeanwhile = QApplication::activeModalWidget() == w && w->isWindowModified() == false
            && w->windowModality() == Qt::ApplicationModal;
        QTest::mouseClick(modal.button, Qt::LeftButton);
    });
    modal.showModal();
    QVERIFY(blockedMeanwhile);
    QVERIFY(!modal.isLoaded());
    QVERIFY(other.isLoaded());
    other.unload();
}

QTEST_MAIN(TestFormLifecycle)
#include "tst_form.moc"
