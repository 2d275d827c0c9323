#include "core/PassPacing.h"
#include "core/PassTexts.h"
#include "core/UiLanguage.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

constexpr int64_t kSecond = 1'700'000'000'000; // a wall-clock time on a whole second

TEST(RunSecondBoundSteps, RunsToTheEndOfTheSecondItStartsIn)
{
    struct Case
    {
        int startMsPart, setBackAtStep, steps;
        int64_t elapsedMs;
    } const cases[] = {
        {200, 0, 159, 800},
        {500, 0, 99, 500},
        {501, 0, 199, 1499}, // too late in its second: waits for the next and lasts all of it
        {100, 10, 10, 50},   // a wall clock set back an hour ends the pass, not the hour
    };
    for (const auto& c : cases) {
        test::FakeClock clock(kSecond + c.startMsPart);
        int steps = 0;
        const auto step = [&] {
            if (++steps == c.setBackAtStep)
                clock.SetWallMs(kSecond - 3'600'000);
        };
        EXPECT_EQ(RunSecondBoundSteps(clock, step), c.steps) << "start at " << c.startMsPart;
        EXPECT_EQ(clock.MonotonicMs(), c.elapsedMs) << "start at " << c.startMsPart;
    }
}

TEST(PassTexts, ByLanguageAndKind)
{
    using Texts = PassTexts (*)(int language, int kind);
    const Texts progress = ProgressPassTexts, timed = TimedPassTexts;
    const Texts search = [](int language, int) { return SearchPassTexts(language, "T"); };
    const Texts retrieve = [](int language, int) { return RetrievePassTexts(language); };
    const char* wait = "Wait a Moment...";
    struct Case
    {
        Texts texts;
        int kind;
        const char *jaMessage, *jaCaption, *enMessage, *enCaption;
    } const cases[] = {
        {progress, 0, "構成情報をPCにダウンロード中．．．\n", "構成情報のダウンロード",
         "VELDIX Organization info. downloading...\n", wait},
        {progress, -1, "しばらくお待ちください。\n", "VELDIXシリーズ検索",
         "Wait a moment please...\n", wait},
        {timed, 1, "VELDIXシリーズに仮IPアドレスを設定中...\n", "仮IPアドレスを設定",
         "Setting temporal IP address for VELDIX...\n", "Setting temporal IP address for VELDIX"},
        {search, 0, "ネットワーク環境の調査中．．．", "T", "VELDIX searching...", "T"},
        {retrieve, 0, "VELDIXシリーズに仮IPアドレス設定中．．．\n", "仮IPアドレス設定",
         "Retrieving information of VELDIX...\n", "Retrieve informaton"},
    };
    for (const auto& c : cases) {
        const PassTexts ja = c.texts(kLanguageJapanese, c.kind);
        EXPECT_EQ(ja.message, c.jaMessage) << c.kind;
        EXPECT_EQ(ja.caption, c.jaCaption) << c.kind;
        for (const int language : {409, 0, 804}) { // every other language is English
            const PassTexts en = c.texts(language, c.kind);
            EXPECT_EQ(en.message, c.enMessage) << language << "/" << c.kind;
            EXPECT_EQ(en.caption, c.enCaption) << language << "/" << c.kind;
        }
    }
}

} // namespace
} // namespace zelvo
