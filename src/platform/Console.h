#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zelvo {

// The standard streams of a command-line run. Results go to Out, progress, messages
// and questions to Err, answers come from ReadLine. Whether a stream is a terminal
// decides whether a question may be asked and whether progress is drawn.
// Not thread safe: the command line's main thread only.
class Console
{
public:
    virtual ~Console() = default;
    virtual bool InputIsTerminal() const = 0;
    virtual bool ErrorIsTerminal() const = 0;
    virtual void Out(std::string_view text) = 0;
    virtual void Err(std::string_view text) = 0;
    // One line of standard input without its line end; nullopt at the end of input.
    virtual std::optional<std::string> ReadLine() = 0;
};

// The process's standard input, output and error. Writes go straight to the
// descriptors (no stdio buffering), so progress and results interleave as written.
Console& SystemConsole();

} // namespace zelvo
