#pragma once
#include "platform/UrlOpener.h"

#include <atomic>
#include <functional>
#include <string>

namespace zelvo {

// The tool's way to the browser. Run as root, it starts none: a browser running as root
// would show a unit's pages, and whatever else answers at a unit's address, with every
// right on the PC. The refusal is logged and handed to `refused` with the address, which
// the front end shows to the user instead; `refused` runs on the caller's thread.
class RootUrlGuard final : public UrlOpener
{
public:
    RootUrlGuard(UrlOpener& desktop, bool asRoot,
                 std::function<void(const std::string& url)> refused)
        : m_desktop(desktop), m_asRoot(asRoot), m_refused(std::move(refused))
    {
    }

    // False when refused, else what the desktop's opener says.
    bool Open(const std::string& url) override;

    // At least one address was refused.
    bool Refused() const { return m_anyRefused.load(std::memory_order_acquire); }

private:
    UrlOpener& m_desktop;
    bool m_asRoot;
    std::function<void(const std::string&)> m_refused;
    std::atomic<bool> m_anyRefused{false};
};

// What the user is told instead: the browser is not started as root, and the address.
std::string BrowserRefusedText(int language, const std::string& url);

} // namespace zelvo
