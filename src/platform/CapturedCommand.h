#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

struct CommandOutput
{
    int exitStatus = -1; // the exit code; -1 when the command was killed or died of a signal
    std::string standardOutput;
};

// Runs argv[0] (looked up in PATH, never through a shell) with standard input and error
// on /dev/null, LC_ALL=C, and collects at most maxBytes of its standard output. A
// command still running after timeoutMs is killed. nullopt when it could not be started
// (not installed, for one). Blocks the calling thread; any thread may call it.
std::optional<CommandOutput> RunAndCapture(const std::vector<std::string>& argv, int timeoutMs,
                                           std::size_t maxBytes);

} // namespace zelvo
