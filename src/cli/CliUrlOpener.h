#pragma once
#include "platform/UrlOpener.h"

#include <string>
#include <vector>

namespace zelvo {

// The URL opener the commands get on the command line: every page a command opens (a
// web tool the user said yes to, the web command's page) is kept for the result, and
// handed to the desktop's opener only when --open asked for it; on a box without a
// desktop the printed address is what the user wants.
class CliUrlOpener final : public UrlOpener
{
public:
    CliUrlOpener(UrlOpener& desktop, bool open) : m_desktop(desktop), m_open(open) {}

    bool Open(const std::string& url) override
    {
        m_urls.push_back(url);
        return m_open ? m_desktop.Open(url) : true;
    }

    const std::vector<std::string>& Urls() const { return m_urls; }

private:
    UrlOpener& m_desktop;
    bool m_open;
    std::vector<std::string> m_urls;
};

} // namespace zelvo
