#pragma once
#include "app/MainDialog.h"
#include "app/MessageBoxes.h"
#include "support/FakeUrlOpener.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace zelvo::test {

constexpr int kEnglish = 409;

// Answers questions from a script and keeps what was shown.
class ScriptedBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override
    {
        shown.push_back({text, icon, buttons});
        if (answers.empty())
            return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<MessageAnswer> answers;
    std::vector<Shown> shown;
};

// How a test's PC looks to the window.
struct TestPc
{
    int language = kEnglish;
    int setIpLayout = 0;
    bool zeroMac = false;
    int netInfoAvailable = 1;
    int dhcpServerPresent = 0;
    int browseCheckResult = 1;
    int surveyResult = 0;
};

// A main window whose survey fills row 0 with a made-up PC instead of examining the
// machine, with scripted message boxes and a recording URL opener.
struct DialogFixture
{
    ScriptedBoxes boxes;
    FakeUrlOpener urls;
    int browseChecks = 0;
    int maskReadings = 0;
    int maskReadingResult = 1;
    std::unique_ptr<MainDialog> dialog;

    bool Make(const TestPc& pc, const std::string& helpDirectory = "/opt/zelvo/")
    {
        MainDialogServices services{.boxes = boxes, .urls = urls};
        services.language = [language = pc.language] { return language; };
        services.survey = [pc](MainDialog& d, bool) {
            DialogState& state = d.State();
            state.host.NetInfoAvailable = pc.netInfoAvailable;
            state.host.DhcpServerPresent = pc.dhcpServerPresent;
            state.host.pcMac =
                pc.zeroMac ? MacAddress{} : MacAddress{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
            state.host.pcAddress = Ipv4Address::FromOctets(192, 168, 0, 10);
            DeviceRecord& row0 = state.devices.rows[0];
            row0.SetName("OFFICE-PC");
            row0.SetIpText("192.168.0.10");
            row0.SetMacText(MacDashText(state.host.pcMac).c_str());
            row0.SetTypeText("Your Host PC");
            return pc.surveyResult;
        };
        services.networkBrowseCheck = [this, result = pc.browseCheckResult](MainDialog&) {
            ++browseChecks;
            return result;
        };
        services.readInterfaceMask = [this](MainDialog&) {
            ++maskReadings;
            return maskReadingResult;
        };
        services.helpDirectory = helpDirectory;
        dialog = std::make_unique<MainDialog>(nullptr, std::move(services));
        // The command line's switch is known before the window is created.
        dialog->State().m_bSetIpLayout = pc.setIpLayout;
        return dialog->Create(false);
    }
};

// A unit record as a search lists it.
inline DeviceRecord UnitRecord(const char* name, const char* ip, int number)
{
    DeviceRecord record;
    record.SetName(name);
    record.SetIpText(ip);
    record.SetMacText("00-90-cc-12-34-56");
    const std::string type = "VELDIX [" + std::to_string(number) + "]";
    record.SetTypeText(type.c_str());
    return record;
}

} // namespace zelvo::test
