#include "platform/Console.h"

#include <cerrno>
#include <unistd.h>

namespace zelvo {
namespace {

void WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // a closed pipe or a full disk: nothing better to do than stop
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

class SystemConsoleImpl final : public Console
{
public:
    bool InputIsTerminal() const override { return ::isatty(STDIN_FILENO) == 1; }
    bool ErrorIsTerminal() const override { return ::isatty(STDERR_FILENO) == 1; }
    void Out(std::string_view text) override { WriteAll(STDOUT_FILENO, text); }
    void Err(std::string_view text) override { WriteAll(STDERR_FILENO, text); }

    std::optional<std::string> ReadLine() override
    {
        // Byte by byte: whatever follows the line stays in the descriptor for the next
        // question, and no buffer of ours swallows it.
        std::string line;
        for (;;) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return line.empty() ? std::nullopt : std::optional<std::string>(line);
            if (c == '\n')
                return line;
            if (c != '\r')
                line.push_back(c);
        }
    }
};

} // namespace

Console& SystemConsole()
{
    static SystemConsoleImpl console;
    return console;
}

} // namespace zelvo
