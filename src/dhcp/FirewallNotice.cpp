#include "dhcp/FirewallNotice.h"

#include "core/FirewallVerdict.h"
#include "core/MessageCatalogue.h"

namespace zelvo {

FirewallNotice FirewallNoticeFor(int language, const FirewallRuleset& firewall,
                                 const std::string& card, Ipv4Address cardAddress)
{
    const FirewallJudgement j = JudgeCardFirewall(firewall, card, cardAddress);
    FirewallNotice notice;
    notice.logLine = "  Firewall\t: UDP 67 on " + card + " " + VerdictName(j.verdict) + " (" +
                     FrontEndName(j.frontEnd) + "; " + j.reason + ")\r\n";
    const std::string command = OpenPort67Command(j, card);
    if (command.empty())
        return notice;
    const bool dropped = j.verdict == Port67Verdict::Dropped;
    notice.message = MessageCatalogue::Choose(language, dropped ? 950 : 952, dropped ? 951 : 953) +
                     "  " + command + "\r\n\r\n" + MessageCatalogue::Choose(language, 956, 957) +
                     card;
    return notice;
}

} // namespace zelvo
