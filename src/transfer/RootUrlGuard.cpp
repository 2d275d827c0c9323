#include "transfer/RootUrlGuard.h"

#include "core/LogWriter.h"
#include "core/MessageCatalogue.h"

namespace zelvo {

bool RootUrlGuard::Open(const std::string& url)
{
    if (!m_asRoot)
        return m_desktop.Open(url);
    LogWriter::Appendf("  Browser not started as root: %s\r\n", url.c_str());
    m_anyRefused.store(true, std::memory_order_release);
    if (m_refused)
        m_refused(url);
    return false;
}

std::string BrowserRefusedText(int language, const std::string& url)
{
    return MessageCatalogue::Choose(language, 944, 945) + url;
}

} // namespace zelvo
