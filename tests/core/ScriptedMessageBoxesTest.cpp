// The answer script of the scripted message boxes: which answers a box takes, and what
// the two environment variables ask for, a script that cannot be read included.
#include "core/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using A = MessageAnswer;

TEST(ScriptFromEnvironment, readsTheAnswersOrSaysWhyNot)
{
    struct Row
    {
        const char *transcript, *answers;
        bool scripted;
        std::vector<A> expected;
        bool error;
    };
    const Row rows[] = {
        {nullptr, "yes", false, {}, false}, // no transcript: Qt's boxes, answers unused
        {"", "garbage", false, {}, false},
        {"/tmp/t", nullptr, true, {}, false},
        {"/tmp/t", "", true, {}, false},
        {"/tmp/t", "Yes,no,OK,cancel", true, {A::Yes, A::No, A::Ok, A::Cancel}, false},
        {"/tmp/t", "yes,,no", true, {A::Yes, A::No}, false},
        {"/tmp/t", "yes,maybe", true, {}, true},
        {"/tmp/t", "yes no", true, {}, true},
    };
    for (const Row& r : rows) {
        const auto script = ScriptedMessageBoxes::ScriptFromEnvironment(r.transcript, r.answers);
        SCOPED_TRACE(std::string(r.transcript ? r.transcript : "(unset)") + " / " +
                     (r.answers ? r.answers : "(unset)"));
        EXPECT_EQ(script.scripted, r.scripted);
        EXPECT_EQ(script.answers, r.expected);
        EXPECT_EQ(!script.error.empty(), r.error);
        EXPECT_EQ(script.transcriptPath, r.scripted ? r.transcript : "");
        if (r.error) {
            EXPECT_NE(script.error.find(r.answers), std::string::npos) << script.error;
        }
    }
}

// An OK box takes no answer from the script; an answer a box does not offer is used up
// and the box gets its safe answer; when the script runs out, every box gets its safe one.
TEST(ScriptedMessageBoxes, answersQuestionsInOrderAndSafelyOtherwise)
{
    ScriptedMessageBoxes boxes({A::Yes, A::Ok, A::Cancel});
    EXPECT_EQ(boxes.Show("a", MessageIcon::Stop, MessageButtons::Ok), A::Ok);
    EXPECT_EQ(boxes.Show("b", MessageIcon::Question, MessageButtons::YesNo), A::Yes);
    EXPECT_EQ(boxes.Show("c", MessageIcon::Question, MessageButtons::YesNo), A::No);
    EXPECT_EQ(boxes.Show("d", MessageIcon::Question, MessageButtons::YesNoCancel), A::Cancel);
    EXPECT_EQ(boxes.Show("e", MessageIcon::Question, MessageButtons::OkCancel), A::Cancel);
    ASSERT_EQ(boxes.ShownBoxes().size(), 5u);
    EXPECT_EQ(boxes.ShownBoxes()[2].text, "c");
    EXPECT_EQ(boxes.ShownBoxes()[2].answer, A::No);
}

// The look at an open box sees each box once, before it is answered and recorded.
TEST(ScriptedMessageBoxes, letsATestLookWhileEachBoxIsOpen)
{
    ScriptedMessageBoxes boxes({A::No});
    std::vector<std::pair<std::string, std::size_t>> seen; // text, boxes recorded before
    boxes.WhileShown(
        [&](const std::string& text) { seen.emplace_back(text, boxes.ShownBoxes().size()); });
    EXPECT_EQ(boxes.Show("q", MessageIcon::Question, MessageButtons::YesNo), A::No);
    boxes.Show("i", MessageIcon::Information, MessageButtons::Ok);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::size_t>>{{"q", 0}, {"i", 1}}));
}

} // namespace
} // namespace zelvo
