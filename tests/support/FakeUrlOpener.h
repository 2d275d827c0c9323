#pragma once
#include "platform/UrlOpener.h"

#include <mutex>
#include <string>
#include <vector>

namespace zelvo {

// Records the URLs it is asked to open instead of starting a browser.
class FakeUrlOpener final : public UrlOpener
{
public:
    bool Open(const std::string& url) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_opened.push_back(url);
        return true;
    }
    std::vector<std::string> Opened() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opened;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_opened;
};

} // namespace zelvo
