#include "ui/ProgressWindow.h"
#include "core/PassPacing.h"
#include "core/UiLanguage.h"
#include "support/FakeClock.h"
#include "ui/ProgressPassRunner.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <vector>

using namespace zelvo;
using test::FakeClock;

namespace {

constexpr int kJapanese = kLanguageJapanese, kEnglish = 409;

// Stands in for the main window: remembers the keys that reach it.
struct OwnerWindow final : QWidget
{
    OwnerWindow() { show(); }
    void keyPressEvent(QKeyEvent* event) override { keys.append(event->key()); }
    QList<int> keys;
};

QWidget* LivePopup()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("ProgressWindow"))
            return w;
    return nullptr;
}

void PostKey(QWidget* target, int key)
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

// What a pass showed, looked at from the clock's sleeps.
struct PassRecord
{
    int64_t startMs = 0, endMs = -1;
    int firstValue = -1, lastValue = -1, maximum = -1;
    bool everHidden = false, shownAgain = false; // shownAgain: visible after being hidden
    QString caption, message;

    void Observe(const FakeClock& clock)
    {
        QWidget* popup = LivePopup();
        if (!popup)
            return;
        auto* bar = popup->findChild<QProgressBar*>();
        if (firstValue < 0) {
            firstValue = bar->value();
            caption = popup->windowTitle();
            message = popup->findChild<QLabel*>()->text();
        }
        lastValue = bar->value();
        maximum = bar->maximum();
        shownAgain = shownAgain || (everHidden && popup->isVisible());
        everHidden = everHidden || !popup->isVisible();
        endMs = clock.MonotonicMs();
    }
};

} // namespace

class ProgressWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(LivePopup() == nullptr); } // a popup lives for one pass

    void steppedPassLastsASecondWithTheStepsOfItsOsClass()
    {
        struct Row
        {
            int osClass, language, routine, steps; // routine: progress, search, retrieve
        } const rows[] = {{0, kJapanese, 0, 800},
                          {1, kEnglish, 1, 2000},
                          {2, kJapanese, 2, 2000},
                          {3, kEnglish, 2, 800},
                          {9, kEnglish, 0, 2000}};
        for (const Row& r : rows) {
            FakeClock clock;
            PassRecord record;
            clock.onSleep = [&] { record.Observe(clock); };
            ProgressPassRunner runner(nullptr, r.language, r.osClass, "Zelvo", clock);
            const PassTexts texts[] = {ProgressPassTexts(r.language, kProgressConfigDownload),
                                       SearchPassTexts(r.language, "Zelvo"),
                                       RetrievePassTexts(r.language)};
            if (r.routine == 0)
                runner.RunProgressPass(60, kProgressConfigDownload);
            else if (r.routine == 1)
                runner.RunSearchPass(34, 0);
            else
                runner.RunRetrievePass(20);
            QCOMPARE(record.maximum, r.steps);
            QCOMPARE(record.lastValue, r.steps);
            QCOMPARE(record.endMs, int64_t{1000}); // paced to a second, not the steps' few ms
            QCOMPARE(record.caption, QString::fromStdString(texts[r.routine].caption));
            QCOMPARE(record.message, QString::fromStdString(texts[r.routine].message));
        }
    }

    // Esc ends the running pass only: the next runs whole; other keys go to the main window.
    void escapeEndsOnlyTheRunningPass()
    {
        OwnerWindow owner;
        FakeClock clock;
        std::vector<PassRecord> records;
        clock.onSleep = [&] { // at its tenth step the first pass gets Esc, the others Space
            records.back().Observe(clock);
            if (clock.MonotonicMs() - records.back().startMs == 5)
                PostKey(&owner, records.size() == 1 ? Qt::Key_Escape : Qt::Key_Space);
        };
        ProgressPassRunner runner(&owner, kEnglish, 2, "Zelvo Setup Tool", clock);
        for (int secondsLeft : {60, 59, 58}) {
            records.emplace_back().startMs = clock.MonotonicMs();
            runner.RunProgressPass(secondsLeft, kProgressSearchAgain);
        }
        QVERIFY(records[0].lastValue < 100 && records[0].endMs < 50); // ended at the Esc
        for (size_t i = 1; i < records.size(); ++i) { // from an empty bar to its end
            QVERIFY(records[i].firstValue <= 2);
            QCOMPARE(records[i].lastValue, 2000);
            QVERIFY(!records[i].everHidden);
        }
        QCOMPARE(owner.keys, QList<int>({Qt::Key_Space, Qt::Key_Space})); // Esc was eaten
    }

    // After an Esc hid it, the timed pass's next step shows the popup again; no pumping.
    void timedPassRunsOutItsSecondAfterEscape()
    {
        OwnerWindow owner;
        FakeClock clock(1'700'000'000'200);
        PassRecord record;
        bool lateCall = false;
        int sleeps = 0;
        clock.onSleep = [&] {
            record.Observe(clock);
            if (++sleeps == 10)
                PostKey(&owner, Qt::Key_Escape);
            else if (sleeps == 20)
                QMetaObject::invokeMethod(
                    qApp, [&] { lateCall = true; }, Qt::QueuedConnection);
        };
        ProgressPassRunner runner(&owner, kJapanese, 0, "Zelvo", clock);
        runner.RunTimedPass(10, 0);
        QCOMPARE(record.caption, QString::fromStdString(TimedPassTexts(kJapanese, 0).caption));
        QCOMPARE(record.maximum, kTimedPassSteps);
        QVERIFY(record.everHidden && record.shownAgain);
        QCOMPARE(record.lastValue, (1000 - 200) / kTimedPassStepMs - 1);
        QVERIFY(!lateCall);
        QCoreApplication::processEvents();
        QVERIFY(lateCall);
    }

    // The popup goes with its owner; the pass runs on, the next opens a popup of its own.
    void passGoesOnWhenItsOwnerIsDestroyed()
    {
        auto* owner = new OwnerWindow;
        FakeClock clock;
        clock.onSleep = [&] {
            if (clock.MonotonicMs() == 5)
                delete owner;
        };
        ProgressPassRunner runner(owner, kEnglish, 0, "Zelvo", clock);
        runner.RunProgressPass(60, kProgressConfigUpload);
        QCOMPARE(clock.MonotonicMs(), int64_t{kSteppedPassMs}); // every step still ran

        PassRecord record;
        bool ownerless = false;
        clock.onSleep = [&] {
            record.Observe(clock);
            ownerless = LivePopup() && !LivePopup()->parentWidget();
        };
        runner.RunProgressPass(60, kProgressConfigUpload);
        QVERIFY(ownerless);
        QCOMPARE(record.lastValue, 800);
    }
};

QTEST_MAIN(ProgressWindowTest)
#include "ProgressWindowTest.moc"
