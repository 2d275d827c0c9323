#pragma once
#include <string>

namespace zelvo {

// Hands a URL (a unit's web page, a help page) to the desktop, which opens it in the
// user's browser. The opening itself is not awaited: the browser may take seconds to
// come up, and the tool has nothing to do with its outcome.
// Thread safety: Open may be called from any thread.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // False when the opener program could not be started at all.
    virtual bool Open(const std::string& url) = 0;
};

// Starts `program url` directly with posix_spawn: no shell ever sees the URL, so a
// URL holding quotes, spaces or ";" stays one argument. The child gets a session of its
// own and default signal handling; a detached thread reaps it when it ends.
class SpawnUrlOpener final : public UrlOpener
{
public:
    explicit SpawnUrlOpener(std::string program);
    bool Open(const std::string& url) override;

private:
    std::string m_program;
};

// The desktop's opener: xdg-open.
UrlOpener& SystemUrlOpener();

// True when the process runs with root's effective user id.
bool RunningAsRoot();

} // namespace zelvo
