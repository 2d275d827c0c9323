#pragma once
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/UrlOpener.h"

#include <functional>
#include <memory>
#include <span>
#include <string>

namespace zelvo {

class SearchNetwork;

// Exit statuses of the command line.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNothing = 1; // nothing found, no such unit, refused, failed transfer
inline constexpr int kExitUsage = 2;   // wrong usage or an environment that cannot run

// What a command-line run reaches outside itself; empty members take the machine's own.
struct CliEnvironment
{
    Console* console = nullptr;
    UrlOpener* urls = nullptr;
    std::function<int()> language = {};  // the language rule
    std::string modulePath = {};         // beside it: manager.ini, manager.log
    std::string instanceLockDirectory{}; // where the single-instance lock lives
    std::function<std::shared_ptr<SearchNetwork>()> searchNetwork = {};
    std::function<bool()> runningAsRoot = {}; // --open starts no browser as root
};

// "1.0.0": the version the tool reports.
std::string CliVersionText();

// The whole command line: arguments after the program name in, exit status out.
int RunCommandLine(std::span<const std::string> args, const CliEnvironment& environment = {});

} // namespace zelvo
