#include "app/CommandLine.h"

#include <strings.h>

namespace zelvo {

namespace {
constexpr std::size_t kCommandLineBuffer = 80;
}

std::string CommandLineText(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& a : args) {
        if (!text.empty())
            text += ' ';
        text += a;
    }
    if (text.size() > kCommandLineBuffer - 1)
        text.resize(kCommandLineBuffer - 1);
    return text;
}

StartSwitches ParseSwitches(const std::vector<std::string>& args)
{
    StartSwitches s;
    const std::string text = CommandLineText(args);
    auto has = [&](const char* needle) { return text.find(needle) != std::string::npos; };
    s.showMask = has("/disip") || has("/DISIP");
    s.setIpLayout = has("/set") || has("/SET");
    for (const std::string& a : args) {
        if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
            continue;
        const char* word = a.c_str() + 1;
        if (strcasecmp(word, "Embedding") == 0 || strcasecmp(word, "Automation") == 0)
            s.splashEnabled = false;
    }
    return s;
}

} // namespace zelvo
