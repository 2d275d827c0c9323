#include "platform/PcDhcpClientState.h"

#include <arpa/inet.h>
#include <cstddef>

namespace zelvo {
namespace {

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Splits text at every occurrence of any of the separators given.
std::vector<std::string_view> SplitAny(std::string_view text,
                                       std::initializer_list<std::string_view> separators)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t matched = 0;
        for (std::string_view sep : separators) {
            if (text.substr(at, sep.size()) == sep) {
                matched = sep.size();
                break;
            }
        }
        if (matched == 0) {
            ++at;
            continue;
        }
        parts.push_back(text.substr(start, at - start));
        at += matched;
        start = at;
    }
    parts.push_back(text.substr(start));
    return parts;
}

void AddRouters(std::string_view list, DhcpClientReport& report)
{
    for (std::string_view word : SplitAny(list, {" ", ","})) {
        const std::string text(Trim(word));
        in_addr parsed{};
        if (!text.empty() && inet_pton(AF_INET, text.c_str(), &parsed) == 1)
            report.routers.push_back(Ipv4Address{parsed.s_addr});
    }
}

std::string_view BaseName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A group of udhcpc's argument-less short options that ends in -i, whose value is then
// the next word.
bool IsFlagGroupEndingInI(std::string_view word)
{
    if (word.size() < 3 || word[0] != '-' || word[1] == '-' || word.back() != 'i')
        return false;
    return word.substr(1, word.size() - 2).find_first_not_of("fbnqRSBCav") ==
           std::string_view::npos;
}

} // namespace

DhcpClientReport ParseNmcliDhcp4(std::string_view output)
{
    DhcpClientReport report;
    bool anyOption = false;
    for (std::string_view item : SplitAny(output, {" | ", "\n"})) {
        item = Trim(item);
        // The terse form prefixes each option with "DHCP4.OPTION[n]:".
        if (item.starts_with("DHCP4.") || item.starts_with("OPTION[")) {
            const auto colon = item.find(':');
            if (colon == std::string_view::npos)
                continue;
            item = item.substr(colon + 1);
        }
        const auto equals = item.find(" = ");
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = Trim(item.substr(0, equals));
        const std::string_view value = Trim(item.substr(equals + 3));
        if (key.empty())
            continue;
        anyOption = true;
        if (key == "subnet_mask" && !value.empty())
            report.maskText = std::string(value);
        else if (key == "routers")
            AddRouters(value, report);
    }
    if (anyOption) {
        report.source = DhcpClientSource::NetworkManager;
        report.optionsKnown = true;
    } else {
        report.routers.clear();
        report.maskText.reset();
    }
    return report;
}

DhcpClientReport ParseNetworkdLease(std::string_view fileText)
{
    DhcpClientReport report;
    report.source = DhcpClientSource::Networkd;
    report.optionsKnown = true;
    for (std::string_view line : SplitAny(fileText, {"\n"})) {
        line = Trim(line);
        if (line.starts_with("NETMASK=")) {
            const std::string_view value = Trim(line.substr(8));
            if (!value.empty())
                report.maskText = std::string(value);
        } else if (line.starts_with("ROUTER=")) {
            AddRouters(line.substr(7), report);
        }
    }
    return report;
}

std::vector<std::string> SplitCommandLine(std::string_view raw)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < raw.size()) {
        auto end = raw.find('\0', start);
        if (end == std::string_view::npos)
            end = raw.size();
        words.emplace_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool IsDhcpClientFor(const std::vector<std::string>& argv, std::string_view interfaceName)
{
    if (argv.empty() || interfaceName.empty())
        return false;
    std::size_t first = 0;
    std::string_view program = BaseName(argv[0]);
    if (program == "busybox" && argv.size() > 1) {
        first = 1;
        program = BaseName(argv[1]);
    }
    if (program == "udhcpc") {
        // busybox udhcpc serves eth0 unless told otherwise.
        std::string_view served = "eth0";
        for (std::size_t i = first + 1; i < argv.size(); ++i) {
            const std::string_view word = argv[i];
            if ((word == "-i" || word == "--interface") && i + 1 < argv.size())
                served = argv[++i];
            else if (word.starts_with("--interface="))
                served = word.substr(12);
            else if (word.starts_with("-i") && word.size() > 2 && word[2] != '-')
                served = word.substr(2);
            else if (IsFlagGroupEndingInI(word) && i + 1 < argv.size())
                served = argv[++i]; // "-fqi eth0"
        }
        return served == interfaceName;
    }
    if (program == "dhclient" || program == "dhcpcd") {
        for (std::size_t i = first + 1; i < argv.size(); ++i)
            if (argv[i] == interfaceName)
                return true;
    }
    return false;
}

} // namespace zelvo
