#pragma once
#include "platform/Console.h"

#include <deque>

namespace zelvo::test {

// Standard streams in memory: what was written, and the lines a user would type.
class FakeConsole final : public Console
{
public:
    bool inputTerminal = false;
    bool errorTerminal = false;
    std::string out;
    std::string err;
    std::deque<std::string> input; // lines without their line end; empty: end of input

    bool InputIsTerminal() const override { return inputTerminal; }
    bool ErrorIsTerminal() const override { return errorTerminal; }
    void Out(std::string_view text) override { out.append(text); }
    void Err(std::string_view text) override { err.append(text); }
    std::optional<std::string> ReadLine() override
    {
        if (input.empty())
            return std::nullopt;
        std::string line = input.front();
        input.pop_front();
        return line;
    }
};

} // namespace zelvo::test
