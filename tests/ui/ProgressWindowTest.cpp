#include "ui/ProgressWindow.h"
#include "FakeClock.h"
#include "app/UiLanguage.h"
#include "ui/PassPacing.h"
#include "ui/ProgressPassRunner.h"
#include "ui/WaitWithProgress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace zelvo;
using test::FakeClock;

namespace {

constexpr int kJapanese = kLanguageJapanese;
constexpr int kEnglish = 409;
constexpr int64_t kWholeSecond = 1'700'000'000'000;

// Stands in for the main window: remembers the keys that reach it.
class OwnerWindow final : public QWidget
{
public:
    OwnerWindow()
    {
        setWindowTitle(QStringLiteral("owner"));
        setGeometry(200, 150, 500, 300);
    }
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        keys.append(event->key());
        QWidget::keyPressEvent(event);
    }
};

QWidget* LivePopup()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("ProgressWindow"))
            return w;
    return nullptr;
}

int LivePopupCount()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->objectName() == QLatin1String("ProgressWindow") ? 1 : 0;
    return n;
}

void PostKey(QWidget* target, int key)
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

// What a pass showed, looked at from the clock's sleeps.
struct PassRecord
{
    int64_t startMs = -1;
    int64_t endMs = -1;
    int firstValue = -1;
    int lastValue = -1;
    int maximum = -1;
    bool everHidden = false;
    QString caption;
    QString message;
};

void Observe(PassRecord& record, const FakeClock& clock)
{
    QWidget* popup = LivePopup();
    if (!popup)
        return;
    auto* bar = popup->findChild<QProgressBar*>(QStringLiteral("bar"));
    if (record.firstValue < 0) {
        record.firstValue = bar->value();
        record.caption = popup->windowTitle();
        record.message = popup->findChild<QLabel*>(QStringLiteral("message"))->text();
    }
    record.lastValue = bar->value();
    record.maximum = bar->maximum();
    record.everHidden = record.everHidden || !popup->isVisible();
    record.endMs = clock.MonotonicMs();
}

template <typename Pred> bool Eventually(Pred pred)
{
    for (int i = 0; i < 1000; ++i) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

enum class Routine
{
    Progress,
    Timed,
    Search,
    Retrieve
};

void Run(ProgressPasses& passes, Routine routine, int arg)
{
    switch (routine) {
    case Routine::Progress:
        passes.RunProgressPass(60, arg);
        break;
    case Routine::Timed:
        passes.RunTimedPass(10, arg);
        break;
    case Routine::Search:
        passes.RunSearchPass(34, arg);
        break;
    case Routine::Retrieve:
        passes.RunRetrievePass(20);
        break;
    }
}

} // namespace

// Qt hands parts of its painting to a thread pool of its own. Qt is not built for
// ThreadSanitizer, so the locking inside it is invisible and every hand-over between
// its threads looks like a race: what Qt does inside itself is left out. The tool's
// own threads never touch Qt, and their accesses stay checked.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}

Q_DECLARE_METATYPE(Routine)

class ProgressWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(LivePopupCount(), 0); }

    void popupIsLaidOutForTwoLinesWithTheButtonHidden()
    {
        OwnerWindow owner;
        owner.show();
        ProgressWindow window(&owner, "Wait a Moment...", true);
        QVERIFY(window.IsWindow());
        QWidget* popup = window.Window();
        QVERIFY(popup->isVisible());
        QCOMPARE(popup->windowTitle(), QStringLiteral("Wait a Moment..."));

        auto* message = popup->findChild<QLabel*>(QStringLiteral("message"));
        auto* bar = popup->findChild<QProgressBar*>(QStringLiteral("bar"));
        auto* cancel = popup->findChild<QPushButton*>(QStringLiteral("cancel"));
        QVERIFY(message && bar && cancel);
        QCOMPARE(message->property("controlId").toInt(), 11);
        QCOMPARE(bar->property("controlId").toInt(), 12);
        QCOMPARE(cancel->property("controlId").toInt(), 10);
        QCOMPARE(cancel->text(), QStringLiteral(" Cancel "));
        QVERIFY(!cancel->isVisible());
        QVERIFY(bar->property("smooth").toBool());
        QVERIFY(!bar->isTextVisible());

        const QFont messageFont = QApplication::font("QMessageBox");
        QCOMPARE(message->font(), messageFont);
        QCOMPARE(cancel->font(), messageFont);

        // The message line: 390 pixels wide at the margin, two lines of the font high.
        const QFontMetrics metrics(messageFont);
        const QRect text = message->geometry();
        QCOMPARE(text.topLeft(), QPoint(10, 10));
        QCOMPARE(text.width(), 390);
        QVERIFY(text.height() >= metrics.height() + metrics.lineSpacing() - 1);
        QVERIFY(text.height() < 3 * metrics.lineSpacing());

        // The button under the text at its right edge; the bar to its left, inset by an edge.
        const QRect button = cancel->geometry();
        QCOMPARE(button.right(), text.right());
        QCOMPARE(button.top(), text.bottom() + 1 + 10);
        QVERIFY(button.width() > metrics.horizontalAdvance(QStringLiteral(" Cancel ")));
        QCOMPARE(bar->geometry().left(), 10);
        QCOMPARE(bar->geometry().right(), button.left() - 10 - 1);
        QCOMPARE(bar->geometry().top(), button.top() + 2);
        QCOMPARE(bar->geometry().bottom(), button.bottom() - 2);

        QCOMPARE(popup->size(), QSize(410, 10 + text.height() + 10 + button.height() + 10));
        QCOMPARE(popup->minimumSize(), popup->maximumSize());

        // Centred over its owner.
        const QPoint offset = popup->geometry().center() - owner.geometry().center();
        QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1,
                 qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
    }

    void popupIsTopmostAndGivesTheFocusBackWhenCancelled()
    {
        OwnerWindow owner;
        owner.show();
        ProgressWindow window(&owner, "VELDIX検索", true);
        QWidget* popup = window.Window();
        // Shown without activation and never focusable (the offscreen test platform
        // activates every window it shows, so only the request can be checked here).
        const Qt::WindowFlags flags = popup->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(popup->testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(popup->parentWidget(), &owner);

        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        window.RequestCancel();
        QVERIFY(QTest::qWaitForWindowActive(&owner));
        QVERIFY(!popup->isVisible());
    }

    void barStepsWhileTheCaptionStays()
    {
        ProgressWindow window(nullptr, "構成情報のダウンロード", true);
        QWidget* popup = window.Window();
        auto* bar = popup->findChild<QProgressBar*>(QStringLiteral("bar"));

        QCOMPARE(window.SetStepRange(0, 200, 1), 1);
        QCOMPARE(window.SetStepRange(0, 200, 4), 1);
        QCOMPARE(window.SetStepRange(0, 200, 1), 4);
        QCOMPARE(bar->maximum(), 200);

        int changes = 0;
        connect(popup, &QWidget::windowTitleChanged, this, [&] { ++changes; });
        for (int i = 1; i <= 250; ++i) {
            const int previous = window.Advance();
            QCOMPARE(previous, std::min(i - 1, 200));
            QCOMPARE(popup->windowTitle(), QStringLiteral("構成情報のダウンロード"));
        }
        QCOMPARE(changes, 0);
        // The bar stops at its end; the position counts on.
        QCOMPARE(bar->value(), 200);
        QCOMPARE(window.LastPosition(), 250);

        // An empty range gives no percentage rather than a division by zero.
        window.SetStepRange(5, 5, 1);
        window.SetPosition(7);
        QCOMPARE(window.LastPosition(), 7);
    }

    void withoutItsWindowTheObjectStoresNothing_data()
    {
        QTest::addColumn<bool>("ownerGoes");
        QTest::newRow("window destroyed") << false;
        QTest::newRow("owner destroyed") << true;
    }

    void withoutItsWindowTheObjectStoresNothing()
    {
        QFETCH(bool, ownerGoes);
        auto* owner = new OwnerWindow;
        owner->show();
        ProgressWindow window(owner, "Wait a Moment...", true);
        QVERIFY(window.IsWindow());
        if (ownerGoes)
            delete owner;
        else
            delete window.Window();
        QVERIFY(!window.IsWindow());

        QCOMPARE(window.SetStepRange(0, 800, 3), 0);
        QCOMPARE(window.Step(), 1);
        QCOMPARE(window.UpperBound(), 100);
        QCOMPARE(window.Advance(), 0);
        QCOMPARE(window.SetPosition(9), 0);
        QCOMPARE(window.LastPosition(), 0);
        window.SetMessage("%s", "nobody reads this");
        window.Reveal();
        window.LayOut(2, 390);
        QVERIFY(LivePopup() == nullptr);

        // The pump still serves the rest of the program.
        bool ran = false;
        QMetaObject::invokeMethod(
            qApp, [&] { ran = true; }, Qt::QueuedConnection);
        window.PumpMessages(true);
        QVERIFY(ran);
        window.RequestCancel();
        QVERIFY(window.IsCancelled());
        if (!ownerGoes)
            delete owner;
    }

    void messageIsFormattedIntoAFixedBuffer_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("shown");
        const QString a = QStringLiteral("あ");
        QTest::newRow("fits") << QByteArray("VELDIX searching... \n")
                              << QStringLiteral("VELDIX searching... \n");
        QTest::newRow("ascii cut at 511") << QByteArray(600, 'x') << QString(511, QLatin1Char('x'));
        QTest::newRow("three-byte characters cut whole")
            << QString(300, a[0]).toUtf8() << QString(170, a[0]);
        QTest::newRow("cut falls inside a character")
            << (QByteArray("xx") + QString(300, a[0]).toUtf8())
            << (QStringLiteral("xx") + QString(169, a[0]));
        QTest::newRow("one byte before a character")
            << (QByteArray("x") + QString(300, a[0]).toUtf8())
            << (QStringLiteral("x") + QString(170, a[0]));
    }

    void messageIsFormattedIntoAFixedBuffer()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, shown);
        ProgressWindow window(nullptr, "Wait a Moment...", true);
        window.SetMessage("%s", text.constData());
        QCOMPARE(window.Window()->findChild<QLabel*>(QStringLiteral("message"))->text(), shown);
    }

    void clickingWhereTheButtonWouldBeDoesNothing()
    {
        ProgressWindow window(nullptr, "x", true);
        QWidget* popup = window.Window();
        const QRect button = popup->findChild<QPushButton*>(QStringLiteral("cancel"))->geometry();
        QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, button.center());
        window.PumpMessages(true);
        QVERIFY(!window.IsCancelled());
        QVERIFY(popup->isVisible());
    }

    void aCloseRequestCancelsThePass()
    {
        ProgressWindow window(nullptr, "x", true);
        QWidget* popup = window.Window();
        popup->close();
        QVERIFY(window.IsCancelled());
        QVERIFY(window.IsWindow());
        QVERIFY(!popup->isVisible());
    }

    void escapeCancelsOnlyWhenAsked_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("escCancels");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("ownerGotKey");
        QTest::newRow("Esc while a pass pumps") << int(Qt::Key_Escape) << true << true << false;
        QTest::newRow("Esc, pump without cancel") << int(Qt::Key_Escape) << false << false << true;
        QTest::newRow("other key") << int(Qt::Key_Space) << true << false << true;
        QTest::newRow("Esc outside a pump") << int(Qt::Key_Escape) << true << false << true;
    }

    void escapeCancelsOnlyWhenAsked()
    {
        QFETCH(int, key);
        QFETCH(bool, escCancels);
        QFETCH(bool, cancelled);
        QFETCH(bool, ownerGotKey);
        OwnerWindow owner;
        owner.show();
        ProgressWindow window(&owner, "x", true);
        PostKey(&owner, key);
        if (QByteArray(QTest::currentDataTag()).endsWith("outside a pump"))
            QCoreApplication::processEvents();
        else
            window.PumpMessages(escCancels);
        QCOMPARE(window.IsCancelled(), cancelled);
        QCOMPARE(window.Window()->isVisible(), !cancelled);
        QCOMPARE(owner.keys.contains(key), ownerGotKey);
    }

    void afterACancelThePumpDispatchesNothing()
    {
        ProgressWindow window(nullptr, "x", true);
        window.RequestCancel();
        bool ran = false;
        QMetaObject::invokeMethod(
            qApp, [&] { ran = true; }, Qt::QueuedConnection);
        window.PumpMessages(true);
        QVERIFY(!ran);
        QCoreApplication::processEvents();
        QVERIFY(ran);
    }

    void steppedPassLengthFollowsTheOsClass_data()
    {
        QTest::addColumn<int>("osClass");
        QTest::addColumn<int>("steps");
        QTest::newRow("Windows 98") << 0 << 800;
        QTest::newRow("NT 4.0") << 1 << 2000;
        QTest::newRow("2000") << 2 << 2000;
        QTest::newRow("Me") << 3 << 800;
        QTest::newRow("unknown") << 9 << 2000;
    }

    void steppedPassLengthFollowsTheOsClass()
    {
        QFETCH(int, osClass);
        QFETCH(int, steps);
        FakeClock clock;
        PassRecord record;
        clock.onSleep = [&] { Observe(record, clock); };
        ProgressPassRunner runner(nullptr, kEnglish, osClass, "Zelvo Setup Tool", clock);
        runner.RunProgressPass(60, kProgressSearch);
        QCOMPARE(record.maximum, steps);
        QCOMPARE(record.lastValue, steps);
        QCOMPARE(record.endMs, int64_t{kSteppedPassMs});
        QVERIFY(!record.everHidden);
        QCOMPARE(LivePopupCount(), 0); // the popup lives for one pass
    }

    void passShowsTheTextsOfItsLanguageAndKind_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<Routine>("routine");
        QTest::addColumn<int>("arg");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("message");
        QTest::newRow("backup ja")
            << kJapanese << Routine::Progress << 0 << QStringLiteral("構成情報のダウンロード")
            << QStringLiteral("構成情報をPCにダウンロード中．．．\n");
        QTest::newRow("timed phase 1 en")
            << kEnglish << Routine::Timed << 1
            << QStringLiteral("Setting temporal IP address for VELDIX")
            << QStringLiteral("Setting temporal IP address for VELDIX...\n");
        QTest::newRow("search ja")
            << kJapanese << Routine::Search << 0 << QStringLiteral("Zelvoセットアップツール")
            << QStringLiteral("ネットワーク環境の調査中．．．");
        QTest::newRow("retrieve en")
            << kEnglish << Routine::Retrieve << 0 << QStringLiteral("Retrieve informaton")
            << QStringLiteral("Retrieving information of VELDIX...\n");
    }

    void passShowsTheTextsOfItsLanguageAndKind()
    {
        QFETCH(int, language);
        QFETCH(Routine, routine);
        QFETCH(int, arg);
        QFETCH(QString, caption);
        QFETCH(QString, message);
        FakeClock clock(kWholeSecond + 100);
        PassRecord record;
        clock.onSleep = [&] { Observe(record, clock); };
        const std::string title =
            IsJapanese(language) ? "Zelvoセットアップツール" : "Zelvo Setup Tool";
        ProgressPassRunner runner(nullptr, language, 2, title, clock);
        Run(runner, routine, arg);
        QCOMPARE(record.caption, caption);
        QCOMPARE(record.message, message);
    }

    // Esc ends the pass that runs; the wait goes on with a fresh pass, and the worker
    // is not disturbed.
    void escapeEndsOnlyTheRunningPass()
    {
        OwnerWindow owner;
        owner.show();
        FakeClock clock;
        std::vector<PassRecord> records;
        int sleepsInPass = 0;
        clock.onSleep = [&] {
            Observe(records.back(), clock);
            if (records.size() == 1 && ++sleepsInPass == 10)
                PostKey(&owner, Qt::Key_Escape);
        };
        ProgressPassRunner runner(&owner, kEnglish, 2, "Zelvo Setup Tool", clock);

        auto job = std::make_shared<WorkerJob>();
        auto finish = std::make_shared<std::atomic<bool>>(false);
        const WaitOutcome outcome = WaitWithProgress(
            job,
            [finish](WorkerJob& j) {
                while (!finish->load() && !j.stopRequested.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                j.result = 0;
            },
            60,
            [&](int secondsLeft) {
                PassRecord record;
                record.startMs = clock.MonotonicMs();
                records.push_back(record);
                runner.RunProgressPass(secondsLeft, kProgressSearchAgain);
                if (records.size() == 3) {
                    finish->store(true);
                    QVERIFY(Eventually([&] { return job->done.load(); }));
                }
            },
            clock);

        QCOMPARE(outcome, WaitOutcome::Done);
        QCOMPARE(records.size(), size_t{3});
        // The first pass ended at the Esc, far from its last step.
        QVERIFY(records[0].endMs - records[0].startMs < 50);
        QVERIFY(records[0].lastValue < 100);
        // The next passes start again from an empty bar and run their whole length.
        for (size_t i = 1; i < records.size(); ++i) {
            QVERIFY(records[i].firstValue <= 2);
            QCOMPARE(records[i].lastValue, 2000);
            QVERIFY(!records[i].everHidden);
        }
        QCOMPARE(records[2].endMs - records[1].startMs, int64_t{2 * kSteppedPassMs});
        QVERIFY(!owner.keys.contains(Qt::Key_Escape));
        QCOMPARE(job->result, 0);
    }

    // The timed pass keeps to its second after an Esc; the popup is hidden and the
    // pump stands still meanwhile.
    void timedPassRunsOutItsSecondAfterEscape()
    {
        OwnerWindow owner;
        owner.show();
        FakeClock clock(kWholeSecond + 200);
        PassRecord record;
        bool lateCall = false;
        int sleeps = 0;
        clock.onSleep = [&] {
            Observe(record, clock);
            if (++sleeps == 10) {
                PostKey(&owner, Qt::Key_Escape);
            } else if (sleeps == 20) {
                QVERIFY(LivePopup() && !LivePopup()->isVisible());
                QMetaObject::invokeMethod(
                    qApp, [&] { lateCall = true; }, Qt::QueuedConnection);
            }
        };
        ProgressPassRunner runner(&owner, kJapanese, 0, "Zelvoセットアップツール", clock);
        runner.RunTimedPass(10, 0);
        QCOMPARE(clock.NowMs(), kWholeSecond + 1000);
        QCOMPARE(record.maximum, kTimedPassSteps);
        QVERIFY(record.everHidden);
        QVERIFY(!lateCall);
        QCoreApplication::processEvents();
        QVERIFY(lateCall);
    }

    void passGoesOnWhenItsOwnerIsDestroyed()
    {
        auto* owner = new OwnerWindow;
        owner->show();
        FakeClock clock;
        int sleeps = 0;
        clock.onSleep = [&] {
            if (++sleeps == 5)
                delete owner;
        };
        ProgressPassRunner runner(owner, kEnglish, 0, "Zelvo Setup Tool", clock);
        runner.RunProgressPass(60, kProgressConfigUpload);
        QCOMPARE(clock.MonotonicMs(), int64_t{kSteppedPassMs}); // every step still ran

        // The next pass has no owner to sit over and runs on its own.
        PassRecord record;
        bool sawPopup = false;
        QWidget* parentSeen = nullptr;
        clock.onSleep = [&] {
            Observe(record, clock);
            if (QWidget* popup = LivePopup()) {
                sawPopup = true;
                parentSeen = popup->parentWidget();
            }
        };
        runner.RunProgressPass(60, kProgressConfigUpload);
        QVERIFY(sawPopup);
        QVERIFY(parentSeen == nullptr);
        QCOMPARE(record.lastValue, 800);
    }

    void realPassesDoNotFlashBy()
    {
        OwnerWindow owner;
        owner.show();
        ProgressPassRunner runner(&owner, kEnglish, 2, "Zelvo Setup Tool");
        QElapsedTimer timer;
        timer.start();
        runner.RunSearchPass(34, 0);
        const qint64 stepped = timer.restart();
        QVERIFY2(stepped >= kSteppedPassMs - 5, qPrintable(QString::number(stepped)));
        QVERIFY2(stepped < 20000, qPrintable(QString::number(stepped)));

        runner.RunTimedPass(10, 1);
        const qint64 timed = timer.elapsed();
        qInfo("stepped pass %lld ms, timed pass %lld ms", stepped, timed);
        // Half a second to a second, after waiting up to half a second for its start.
        QVERIFY2(timed >= 490 && timed <= 5000, qPrintable(QString::number(timed)));
    }

    // A worker that never finishes: the wait gives up at the deadline with real passes
    // and the worker ends later in a job record nobody else holds any more.
    void waitTimesOutAWorkerThatNeverFinishes()
    {
        OwnerWindow owner;
        owner.show();
        ProgressPassRunner runner(&owner, kJapanese, 2, "Zelvoセットアップツール");
        auto job = std::make_shared<WorkerJob>();
        auto release = std::make_shared<std::atomic<bool>>(false);
        int passes = 0;
        QElapsedTimer timer;
        timer.start();
        const WaitOutcome outcome = WaitWithProgress(
            job,
            [release](WorkerJob& j) {
                while (!j.stopRequested.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                j.result = 80; // the waiter has left: nobody else may touch the result
                while (!release->load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                j.result = 81; // now written into a record only this thread holds
            },
            2,
            [&](int secondsLeft) {
                ++passes;
                runner.RunProgressPass(secondsLeft, kProgressConfigDownload);
            });
        QCOMPARE(outcome, WaitOutcome::TimedOut);
        QVERIFY(passes >= 1 && passes <= 3);
        QVERIFY(timer.elapsed() >= 1000);
        QVERIFY(job->stopRequested.load());

        std::weak_ptr<WorkerJob> watch = job;
        job.reset();
        release->store(true);
        QVERIFY(Eventually([&] { return watch.expired(); }));
    }
};

QTEST_MAIN(ProgressWindowTest)
#include "ProgressWindowTest.moc"
