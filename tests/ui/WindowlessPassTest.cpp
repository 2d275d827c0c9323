// A program without a widget application cannot show the popup: a pass is then a
// plain delay that keeps the event queue flowing.
#include "FakeClock.h"
#include "ui/PassPacing.h"
#include "ui/ProgressPassRunner.h"
#include "ui/ProgressWindow.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

using namespace zelvo;
using test::FakeClock;

class WindowlessPassTest : public QObject
{
    Q_OBJECT

private slots:
    void windowlessObjectStoresNothing()
    {
        ProgressWindow window(nullptr, "Wait a Moment...", true);
        QVERIFY(!window.IsWindow());
        QVERIFY(!window.Open(nullptr, "Wait a Moment...", true));
        QCOMPARE(window.SetStepRange(0, 2000, 1), 0);
        QCOMPARE(window.UpperBound(), 100);
        QCOMPARE(window.Advance(), 0);
        QCOMPARE(window.SetPosition(40), 0);
        QCOMPARE(window.LastPosition(), 0);
        window.SetMessage("%s", "unseen");
        window.Reveal();
        window.Conceal();
        QVERIFY(!window.IsCancelled());
    }

    void passesRunTheirFullLengthAndKeepEventsFlowing_data()
    {
        QTest::addColumn<int>("osClass");
        QTest::addColumn<bool>("timed");
        QTest::addColumn<int>("pumps");
        QTest::newRow("stepped, 800") << 0 << false << 800;
        QTest::newRow("stepped, 2000") << 1 << false << 2000;
        QTest::newRow("timed from 300 ms") << 1 << true << 139;
    }

    void passesRunTheirFullLengthAndKeepEventsFlowing()
    {
        QFETCH(int, osClass);
        QFETCH(bool, timed);
        QFETCH(int, pumps);
        FakeClock clock(1'700'000'000'300);
        const int64_t wallStart = clock.NowMs();

        // A queued call that queues itself again runs once per pump.
        int served = 0;
        std::function<void()> again = [&] {
            ++served;
            QMetaObject::invokeMethod(QCoreApplication::instance(), again, Qt::QueuedConnection);
        };
        QMetaObject::invokeMethod(QCoreApplication::instance(), again, Qt::QueuedConnection);

        ProgressPassRunner runner(nullptr, 409, osClass, "Zelvo Setup Tool", clock);
        if (timed)
            runner.RunTimedPass(10, 0);
        else
            runner.RunProgressPass(60, kProgressFirmwareUpload);

        QCOMPARE(served, pumps);
        QCOMPARE(clock.NowMs() - wallStart, int64_t{timed ? 700 : kSteppedPassMs});
        again = [] {}; // let the last queued call end the chain
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(WindowlessPassTest)
#include "WindowlessPassTest.moc"
