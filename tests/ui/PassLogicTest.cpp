#include "FakeClock.h"
#include "app/UiLanguage.h"
#include "ui/PassPacing.h"
#include "ui/PassTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvo {
namespace {

using test::FakeClock;

constexpr int kJapanese = kLanguageJapanese;
constexpr int kEnglish = 409;
constexpr int64_t kSecond = 1'700'000'000'000; // a wall-clock time on a whole second

struct PacedCase
{
    int count;
    int stepCostMs; // how long one step takes by itself
    int stopAfter;  // the step that asks to end the pass, 0 for none
    int steps;
    int64_t elapsedMs;
};

TEST(RunPacedSteps, SpreadsStepsOverTheDurationAndNeverSkipsOne)
{
    const PacedCase cases[] = {
        {800, 0, 0, 800, 1000},   // a slow system's pass lasts a second
        {2000, 0, 0, 2000, 1000}, // so does the 2000-step pass
        {2000, 0, 7, 7, 3},       // asked to end after step 7: 7 * 1000 / 2000 ms
        {800, 0, 1, 1, 0},        // ends after its first step, before any pause
        {800, 2, 0, 800, 1600},   // steps slower than the pace: all run, none skipped
        {0, 0, 0, 0, 0},          // nothing to do
    };
    for (const auto& c : cases) {
        FakeClock clock;
        int calls = 0;
        const int steps = RunPacedSteps(c.count, kSteppedPassMs, clock, [&] {
            ++calls;
            clock.Advance(c.stepCostMs);
            return calls != c.stopAfter;
        });
        EXPECT_EQ(steps, c.steps) << c.count << "/" << c.stopAfter;
        EXPECT_EQ(calls, c.steps);
        EXPECT_EQ(clock.MonotonicMs(), c.elapsedMs) << c.count << "/" << c.stopAfter;
    }
}

struct SecondCase
{
    int startMsPart;
    int steps;
    int64_t endMs; // relative to the whole second before the start
};

TEST(RunSecondBoundSteps, RunsToTheEndOfTheSecondItStartsIn)
{
    const SecondCase cases[] = {
        {0, 199, 1000},   // a whole second: one step per 5 ms after the start
        {200, 159, 1000}, // the remaining 800 ms
        {500, 99, 1000},  // the latest start that does not wait
        {501, 199, 2000}, // waits for the next second, then lasts all of it
        {700, 199, 2000}, {999, 199, 2000},
    };
    for (const auto& c : cases) {
        FakeClock clock(kSecond + c.startMsPart);
        const int steps = RunSecondBoundSteps(clock, [] {});
        EXPECT_EQ(steps, c.steps) << "start at " << c.startMsPart;
        EXPECT_EQ(clock.NowMs() - kSecond, c.endMs) << "start at " << c.startMsPart;
        EXPECT_LE(steps, kTimedPassSteps);
    }
}

TEST(RunSecondBoundSteps, AClockSetBackEndsThePass)
{
    FakeClock clock(kSecond + 100);
    int steps = 0;
    RunSecondBoundSteps(clock, [&] {
        if (++steps == 10)
            clock.SetWallMs(kSecond - 3'600'000);
    });
    EXPECT_EQ(steps, 10);
    EXPECT_LT(clock.MonotonicMs(), 1000);
}

struct TextCase
{
    int language;
    int kind;
    const char* message;
    const char* caption;
};

TEST(ProgressPassTexts, ByLanguageAndKind)
{
    const TextCase cases[] = {
        {kJapanese, 0, "構成情報をPCにダウンロード中．．．\n", "構成情報のダウンロード"},
        {kJapanese, 1, "構成情報をPCからアップロード中．．．\n", "構成情報のアップロード"},
        {kJapanese, 2, "VELDIXシリーズ検索中．．． \n", "VELDIX検索"},
        {kJapanese, 3, "VELDIXシリーズ検索中．．． \n", "VELDIX検索"},
        {kJapanese, 4, "ファームウェアアップロード中．．． \n", "ファームウェアアップロード"},
        {kJapanese, 5, "しばらくお待ちください。\n", "VELDIXシリーズ検索"},
        {kJapanese, -1, "しばらくお待ちください。\n", "VELDIXシリーズ検索"},
        {kEnglish, 0, "VELDIX Organization info. downloading...\n", "Wait a Moment..."},
        {kEnglish, 1, "VELDIX Organization info. uploading...\n", "Wait a Moment..."},
        {kEnglish, 2, "VELDIX searching... \n", "Wait a Moment..."},
        {kEnglish, 3, "VELDIX searching... \n", "Wait a Moment..."},
        {kEnglish, 4, "Uploading VELDIX Firmware... \n", "Wait a Moment..."},
        {kEnglish, 99, "Wait a moment please...\n", "Wait a Moment..."},
        // every language other than 411 is English
        {0, 2, "VELDIX searching... \n", "Wait a Moment..."},
        {804, 4, "Uploading VELDIX Firmware... \n", "Wait a Moment..."},
    };
    for (const auto& c : cases) {
        const PassTexts texts = ProgressPassTexts(c.language, c.kind);
        EXPECT_EQ(texts.message, c.message) << c.language << "/" << c.kind;
        EXPECT_EQ(texts.caption, c.caption) << c.language << "/" << c.kind;
    }
}

TEST(TimedPassTexts, ByLanguageAndPhase)
{
    const TextCase cases[] = {
        {kJapanese, 0, "仮IPアドレス待ちのVELDIXシリーズを検索中...\n",
         "仮IPアドレス待ちのVELDIXシリーズを検索"},
        {kJapanese, 1, "VELDIXシリーズに仮IPアドレスを設定中...\n", "仮IPアドレスを設定"},
        {kJapanese, -3, "VELDIXシリーズに仮IPアドレスを設定中...\n", "仮IPアドレスを設定"},
        {kEnglish, 0, "Searching for VELDIX with no IP address...\n",
         "Searching for VELDIX with no IP address"},
        {kEnglish, 1, "Setting temporal IP address for VELDIX...\n",
         "Setting temporal IP address for VELDIX"},
        {kEnglish, 7, "Setting temporal IP address for VELDIX...\n",
         "Setting temporal IP address for VELDIX"},
    };
    for (const auto& c : cases) {
        const PassTexts texts = TimedPassTexts(c.language, c.kind);
        EXPECT_EQ(texts.message, c.message) << c.language << "/" << c.kind;
        EXPECT_EQ(texts.caption, c.caption) << c.language << "/" << c.kind;
    }
}

TEST(SearchAndRetrievePassTexts, ByLanguage)
{
    EXPECT_EQ(SearchPassTexts(kJapanese, "Zelvoセットアップツール").message,
              "ネットワーク環境の調査中．．．");
    EXPECT_EQ(SearchPassTexts(kJapanese, "Zelvoセットアップツール").caption,
              "Zelvoセットアップツール");
    EXPECT_EQ(SearchPassTexts(kEnglish, "Zelvo Setup Tool").message, "VELDIX searching...");
    EXPECT_EQ(SearchPassTexts(kEnglish, "Zelvo Setup Tool").caption, "Zelvo Setup Tool");

    EXPECT_EQ(RetrievePassTexts(kJapanese).message, "VELDIXシリーズに仮IPアドレス設定中．．．\n");
    EXPECT_EQ(RetrievePassTexts(kJapanese).caption, "仮IPアドレス設定");
    EXPECT_EQ(RetrievePassTexts(kEnglish).message, "Retrieving information of VELDIX...\n");
    EXPECT_EQ(RetrievePassTexts(kEnglish).caption, "Retrieve informaton");
}

} // namespace
} // namespace zelvo
