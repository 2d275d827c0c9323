// What the command line prints and asks, the unit operands, the progress line and passes.
#include "cli/CliProgressPasses.h"
#include "cli/CliReport.h"
#include "cli/CliUnitDialogs.h"
#include "cli/ConsoleMessageBoxes.h"
#include "cli/UnitByAddress.h"
#include "cli/UnitSelector.h"
#include "core/WaitWithProgress.h"
#include "support/FakeClock.h"
#include "support/FakeConsole.h"
#include "support/FakeSearchNetwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

namespace zelvo {
namespace {

CliReport SearchReport()
{
    CliReport report;
    report.pc = UnitRow{"LABPC", "02-00-00-00-00-10", "10.231.7.10", "Your Host PC"};
    report.units = std::vector<UnitRow>{
        {"NAS01", "02-5a-e1-40-00-01", "10.231.7.21", "VELDIX [0]"},
        {"倉庫NAS", "02-5a-e1-40-00-02", "10.231.7.122", "VELDIX [1]"},
    };
    return report;
}

TEST(CliReport, tableAlignsColumnsByTerminalWidthInTheRunsLanguage)
{
    const std::string english = FormatReport(SearchReport(), OutputFormat::Table, 409);
    EXPECT_EQ(english, "Computer name  MAC Address        IP Address    Type\n"
                       "LABPC          02-00-00-00-00-10  10.231.7.10   Your Host PC\n"
                       "NAS01          02-5a-e1-40-00-01  10.231.7.21   VELDIX [0]\n"
                       "倉庫NAS        02-5a-e1-40-00-02  10.231.7.122  VELDIX [1]\n");
    const std::string japanese = FormatReport(SearchReport(), OutputFormat::Table, 411);
    EXPECT_EQ(japanese.substr(0, japanese.find('\n')),
              "コンピュータ名  MACアドレス        IPアドレス    タイプ");
}

TEST(CliReport, jsonHoldsThePcAndTheUnitsInListOrder)
{
    EXPECT_EQ(FormatReport(SearchReport(), OutputFormat::Json, 409),
              "{\"pc\":{\"name\":\"LABPC\",\"mac\":\"02-00-00-00-00-10\",\"address\":"
              "\"10.231.7.10\",\"type\":\"Your Host PC\"},\"units\":[{\"name\":\"NAS01\",\"mac\":"
              "\"02-5a-e1-40-00-01\",\"address\":\"10.231.7.21\",\"type\":\"VELDIX [0]\"},"
              "{\"name\":\"倉庫NAS\",\"mac\":\"02-5a-e1-40-00-02\",\"address\":\"10.231.7.122\","
              "\"type\":\"VELDIX [1]\"}]}\n");
    CliReport none;
    none.units.emplace();
    EXPECT_EQ(FormatReport(none, OutputFormat::Json, 409), "{\"units\":[]}\n");
}

TEST(CliReport, unitResultsCarryTheirFieldsInEveryFormat)
{
    CliReport report;
    report.unit = UnitRow{"NAS01", "02-5a-e1-40-00-01", "10.231.7.21", "VELDIX [0]"};
    report.fields = {{"result", "0", true}, {"code", "0x0000"}, {"file", "/tmp/a,b.dat"}};
    EXPECT_EQ(FormatReport(report, OutputFormat::Json, 409),
              "{\"unit\":{\"name\":\"NAS01\",\"mac\":\"02-5a-e1-40-00-01\",\"address\":"
              "\"10.231.7.21\",\"type\":\"VELDIX [0]\"},\"result\":0,\"code\":\"0x0000\","
              "\"file\":\"/tmp/a,b.dat\"}\n");
    EXPECT_EQ(FormatReport(report, OutputFormat::Csv, 409),
              "name,mac,address,result,code,file\r\n"
              "NAS01,02-5a-e1-40-00-01,10.231.7.21,0,0x0000,\"/tmp/a,b.dat\"\r\n");
    EXPECT_EQ(FormatReport(report, OutputFormat::Table, 409),
              "name:     NAS01\nmac:      02-5a-e1-40-00-01\naddress:  10.231.7.21\n"
              "result:   0\ncode:     0x0000\nfile:     /tmp/a,b.dat\n");
    EXPECT_EQ(FormatReport(SearchReport(), OutputFormat::Csv, 411),
              "role,name,mac,address,type\r\n"
              "pc,LABPC,02-00-00-00-00-10,10.231.7.10,Your Host PC\r\n"
              "unit,NAS01,02-5a-e1-40-00-01,10.231.7.21,VELDIX [0]\r\n"
              "unit,倉庫NAS,02-5a-e1-40-00-02,10.231.7.122,VELDIX [1]\r\n");
}

TEST(CliReport, escapesKeepTheFormatsWellFormed)
{
    const std::string cases[][3] = {
        // text, as JSON, as CSV
        {"say \"hi\"", "\"say \\\"hi\\\"\"", "\"say \"\"hi\"\"\""},
        {"back\\slash", "\"back\\\\slash\"", "back\\slash"},
        {"two\r\nlines", "\"two\\r\\nlines\"", "\"two\r\nlines\""},
        {std::string("nul\0bell\x07", 9), "\"nul\\u0000bell\\u0007\"",
         std::string("nul\0bell\x07", 9)},
        // A name in another code page is not UTF-8: JSON stays valid.
        {"NAS\xe9\xff", "\"NAS\\ufffd\\ufffd\"", "NAS\xe9\xff"},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\"", "\xc0\xaf"}, // overlong '/'
        {"ｶﾅ 漢字", "\"ｶﾅ 漢字\"", "ｶﾅ 漢字"},
        // A spreadsheet would run a cell that starts like a formula.
        {"=cmd|' /C calc'!A0", "\"=cmd|' /C calc'!A0\"", "\"'=cmd|' /C calc'!A0\""},
        {"\t=1", "\"\\t=1\"", "\"'\t=1\""},
        {"=\"a\",b", "\"=\\\"a\\\",b\"", "\"'=\"\"a\"\",b\""},
        {"a=b", "\"a=b\"", "a=b"}};
    for (const auto& [text, json, csv] : cases) {
        EXPECT_EQ(JsonString(text), json);
        EXPECT_EQ(CsvField(text), csv);
    }
    // Half-width katakana count once, full-width Latin twice, a stray byte once.
    EXPECT_EQ(DisplayWidth("NAS01漢字ｶﾅＡＢ\xff"), 5 + 4 + 2 + 4 + 1);
}

// Row 0 the PC, units in rows 1 and up, row 3 counted but not listed.
DeviceList ListedUnits()
{
    DeviceList d;
    d.rows[0].SetName("LABPC");
    d.rows[0].address = Ipv4Address::FromOctets(10, 0, 0, 10);
    d.rows[0].mac = {2, 0, 0, 0, 0, 0x10};
    auto unit = [&](int row, const char* name, uint8_t last) {
        d.rows[row].SetName(name);
        d.rows[row].address = Ipv4Address::FromOctets(10, 0, 0, last);
        d.rows[row].mac = {2, 0x5a, 0xe1, 0x40, 0, last};
    };
    unit(1, "NAS01", 21);
    unit(2, "nas02", 22);
    unit(3, "NAS03", 23); // not in UnitRows
    unit(4, "NAS02", 24);
    d.RowCount = 5;
    d.UnitCount = 3;
    std::ranges::copy(std::array{1, 2, 4}, d.UnitRows);
    return d;
}

TEST(UnitOperands, pickOnlyListedUnits)
{
    const DeviceList d = ListedUnits();
    const std::tuple<const char*, UnitMatch, int> cases[] = {
        {"10.0.0.24", UnitMatch::Found, 4},
        {"02:5a:e1:40:00:16", UnitMatch::Found, 2},
        {"02-5A-E1-40-00-15", UnitMatch::Found, 1},
        {"nas01", UnitMatch::Found, 1},
        // Two units named alike, whatever the case: the user must say which.
        {"NAS02", UnitMatch::Ambiguous, -1},
        // Counted by the search but not listed, the PC, no one at all.
        {"NAS03", UnitMatch::NotFound, -1},
        {"10.0.0.23", UnitMatch::NotFound, -1},
        {"LABPC", UnitMatch::NotFound, -1},
        {"10.0.0.10", UnitMatch::NotFound, -1},
        {"10.0.0.021", UnitMatch::NotFound, -1}};
    for (const auto& [unit, match, row] : cases) {
        const UnitChoice choice = SelectUnit(d, unit);
        EXPECT_EQ(choice.match, match) << unit;
        EXPECT_EQ(choice.row, row) << unit;
    }
}

TEST(UnitOperands, answerTheUnitPickWithTheNamedUnitsEntry)
{
    const DeviceList d = ListedUnits();
    for (const auto& [row, entry] : std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {4, 2}}) {
        CliUnitPickDialog pick(d, row);
        int chosen = 0;
        EXPECT_TRUE(pick.Run(UnitPickContent{}, chosen)) << row;
        EXPECT_EQ(chosen, entry) << row;
        EXPECT_EQ(RowForUnitEntry(d, chosen), row);
    }
    CliUnitPickDialog unlisted(d, 3);
    int chosen = 0;
    EXPECT_FALSE(unlisted.Run(UnitPickContent{}, chosen));
    EXPECT_EQ(chosen, -1);
}

TEST(UnitOperands, fileOperandsAndAddressesAreReadStrictly)
{
    for (const auto& [operand, cwd, path, name] :
         {std::tuple{"b/nas_400001.dat", "/home/u", "/home/u/b/nas_400001.dat", "nas_400001.dat"},
          {"/x/abcd1234.fup", "/home/u/", "/x/abcd1234.fup", "abcd1234.fup"},
          {"f.dat", "/", "/f.dat", "f.dat"}}) {
        const ChosenFile chosen = CliUnitFileDialog::ChosenFromPath(operand, cwd);
        EXPECT_EQ(chosen.path + " " + chosen.name, std::string(path) + " " + name);
    }
    for (const char* good : {"0.0.0.0", "255.255.255.255", "10.231.7.21"}) {
        const auto parsed = ParseDottedAddress(good);
        EXPECT_TRUE(parsed && parsed->Dotted() == good) << good;
    }
    for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.", "01.2.3.4", "1..3.4", " 1.2.3.4"})
        EXPECT_FALSE(ParseDottedAddress(bad)) << bad;
}

using A = MessageAnswer;
using B = MessageButtons;

TEST(Questions, areAnsweredByYesTheTerminalOrRefused)
{
    // --yes, a terminal, the lines typed, the buttons, the answer, refused
    const std::tuple<bool, bool, std::vector<std::string>, B, A, bool> cases[] = {
        {true, true, {"n"}, B::YesNo, A::Yes, false},
        {true, false, {}, B::OkCancel, A::Ok, false},
        {false, false, {"y"}, B::YesNo, A::No, true},
        {false, false, {}, B::YesNoCancel, A::Cancel, true},
        {false, true, {" yes "}, B::YesNo, A::Yes, false},
        {false, true, {"はい"}, B::YesNo, A::Yes, false},
        {false, true, {"no"}, B::YesNoCancel, A::No, false},
        {false, true, {"maybe", "", "y"}, B::YesNo, A::Yes, false},
        {false, true, {"maybe", "?", "perhaps"}, B::YesNo, A::No, true},
        {false, true, {}, B::YesNo, A::No, true}};
    for (const auto& [yes, terminal, typed, buttons, answer, refused] : cases) {
        test::FakeConsole console;
        console.inputTerminal = terminal;
        console.input.assign(typed.begin(), typed.end());
        ProgressLine line(console, false);
        ConsoleMessageBoxes boxes(console, line, 409, yes);
        EXPECT_EQ(boxes.Show("Overwrite?\r\n", MessageIcon::Question, buttons), answer);
        EXPECT_EQ(boxes.Refused(), refused);
        EXPECT_EQ(console.err.rfind("Overwrite?\n", 0), 0u) << console.err;
        EXPECT_TRUE(console.out.empty());
        if (refused && !terminal) {
            EXPECT_NE(console.err.find("--yes"), std::string::npos);
        }
    }
}

TEST(Questions, messagesAreWrittenAndNeedNoAnswer)
{
    test::FakeConsole console;
    ProgressLine line(console, false);
    ConsoleMessageBoxes boxes(console, line, 409, false);
    EXPECT_EQ(boxes.Show("a\n\rb\r\nc\rd\n\n", MessageIcon::Stop, B::Ok), A::Ok);
    EXPECT_EQ(console.err, "a\nb\nc\nd\n");
    EXPECT_FALSE(boxes.Refused());
    // Doubled breaks stay apart.
    EXPECT_EQ(ConsoleMessageBoxes::PlainText("a\r\n\r\nb"), "a\n\nb");
    EXPECT_EQ(ConsoleMessageBoxes::PlainText("a\n\r\n\rb"), "a\n\nb");
    EXPECT_EQ(ConsoleMessageBoxes::PlainText("a\n\nb\r\r"), "a\n\nb");
}

TEST(ProgressLine, drawsOnlyOnATerminalAndClearsBeforeAMessage)
{
    test::FakeConsole console;
    {
        ProgressLine off(console, false);
        off.Show("x");
        off.Clear();
    }
    EXPECT_TRUE(console.err.empty());

    ProgressLine on(console, true);
    on.Show("Searching...\n");
    EXPECT_EQ(console.err, "\rSearching...\x1b[K");
    ConsoleMessageBoxes boxes(console, on, 409, false);
    boxes.Show("done", MessageIcon::Information, B::Ok);
    EXPECT_EQ(console.err, "\rSearching...\x1b[K\r\x1b[Kdone\n");
    on.Clear(); // nothing left to erase
    EXPECT_EQ(console.err, "\rSearching...\x1b[K\r\x1b[Kdone\n");
}

TEST(ProgressPasses, aPassLastsASecondAndFillsItsBar)
{
    test::FakeConsole console;
    ProgressLine line(console, true);
    test::FakeClock clock;
    CliProgressPasses passes(line, 409, "Zelvo Setup Tool", clock);
    const int64_t start = clock.MonotonicMs();
    passes.RunProgressPass(12, 2);
    EXPECT_GE(clock.MonotonicMs() - start, 1000);
    EXPECT_LE(clock.MonotonicMs() - start, 1100);
    const std::string last = console.err.substr(console.err.rfind('\r'));
    EXPECT_NE(last.find("[####################] 12s"), std::string::npos) << last;
    // The line drops the text's line breaks and shows the seconds left.
    EXPECT_EQ(CliProgressPasses::LineText("Wait...\n", 2, 4, 7), "Wait... [##..] 7s");
    EXPECT_EQ(CliProgressPasses::LineText("Wait\r\n", 0, 3, 0), "Wait [...]");
}

// A unit named by its address: one echo, the neighbour table's entry for it, its name.
TEST(UnitByAddress, listsTheUnitOnlyWhenASearchWould)
{
    const auto ip = [](uint8_t last) { return Ipv4Address::FromOctets(10, 0, 0, last); };
    const MacAddress unit{0x02, 0x5a, 0xe1, 0x40, 0x00, 0x21},
        other{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    const NeighbourEntry unit21{ip(21), unit, false, 1}, other21{ip(21), other, false, 1},
        unit22{ip(22), unit, false, 1}, blank21{ip(21), MacAddress{}, false, 1};
    // what, echo answered, neighbours, name (nullptr: none), only card 2, listed, looked up
    const std::tuple<const char*, bool, std::vector<NeighbourEntry>, const char*, bool, bool, bool>
        rows[] = {
            {"a named unit", true, {{ip(20), other}, unit21}, "NAS21", false, true, true},
            {"no answer", false, {unit21}, "NAS21", false, false, false},
            {"another device's MAC", true, {other21}, "PC21", false, false, false},
            {"a unit without a name", true, {unit21}, nullptr, false, false, true},
            {"no entry for the address", true, {unit22}, "NAS21", false, false, false},
            {"an incomplete entry", true, {blank21}, "NAS21", false, false, false},
            {"a unit on a card left out", true, {unit21}, "NAS21", true, false, false},
        };
    for (const auto& [what, answers, neighbours, name, onlyCard2, listed, named] : rows) {
        test::FakeSearchNetwork network;
        if (answers)
            network.answering.insert(ip(21).nbo);
        network.neighbours = neighbours;
        if (name)
            network.names[ip(21).nbo] = name;
        PcCards cards;
        if (!onlyCard2)
            cards.usable.push_back(PcCard{1, "eth0", {}, ip(10)});
        cards.usable.push_back(PcCard{2, "eth1", {}, Ipv4Address::FromOctets(10, 0, 1, 10)});
        cards.restricted = onlyCard2;
        DeviceList devices;
        devices.rows[0].SetName("LABPC");

        const int row = FindUnitByAddress(network, ip(21), cards, devices);
        EXPECT_EQ(network.echoed, std::vector<uint32_t>{ip(21).nbo}) << what;
        EXPECT_EQ(network.looked.size(), named ? 1u : 0u) << what;
        EXPECT_STREQ(devices.rows[0].name, "LABPC") << what;
        EXPECT_EQ(row, listed ? 1 : -1) << what;
        ASSERT_EQ(devices.UnitCount, listed ? 1 : 0) << what;
        if (!listed)
            continue;
        const DeviceRecord& r = devices.rows[1];
        EXPECT_EQ(devices.UnitRows[0], 1);
        EXPECT_EQ(r.mac, unit);
        EXPECT_EQ(r.address, ip(21));
        EXPECT_EQ(std::string(r.name) + "|" + r.macText + "|" + r.ipText + "|" + r.typeText,
                  "NAS21|02-5a-e1-40-00-21|10.0.0.21|VELDIX [0]");
    }
}

using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

TEST(CliProgressPasses, aWaitEndsWhenTheWorkerIsDoneNotOnASecondsBoundary)
{
    test::FakeConsole console;
    ProgressLine line(console, true);
    CliProgressPasses passes(line, 409, "t", SystemClock());
    for (const int workMs : {0, 150, 1300}) {
        auto job = std::make_shared<WorkerJob>();
        const FollowedWorker followed(passes, *job);
        const auto start = Steady::now();
        const WaitOutcome outcome = WaitWithProgress(
            job, [workMs](WorkerJob&) { std::this_thread::sleep_for(milliseconds(workMs)); }, 30,
            [&](int secondsLeft) { passes.RunProgressPass(secondsLeft, kProgressConfigDownload); });
        EXPECT_EQ(outcome, WaitOutcome::Done);
        const auto took = Steady::now() - start;
        EXPECT_GE(took, milliseconds(workMs));
        EXPECT_LT(took, milliseconds(workMs + 300)) << workMs;
    }
    // The timed pass ends with the datagram its worker waited for.
    WorkerJob datagram;
    passes.Follow(&datagram);
    std::thread arrival([&] {
        std::this_thread::sleep_for(milliseconds(100));
        datagram.MarkDone();
    });
    const auto start = Steady::now();
    passes.RunTimedPass(10, 0);
    EXPECT_LT(Steady::now() - start,
              milliseconds(400)); // a whole pass lasts half a second at least
    arrival.join();
}

} // namespace
} // namespace zelvo
