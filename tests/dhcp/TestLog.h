#pragma once
#include "core/LogWriter.h"
#include "platform/Files.h"

#include <unistd.h>

#include <string>

namespace zelvo::test {

// A fresh manager.log of the test's own, removed at the end.
struct TemporaryLog
{
    const std::string path = "/tmp/zelvo-dhcp-" + std::to_string(::getpid()) + ".log";
    TemporaryLog() { LogWriter::SetLogPath(path), LogWriter::CreateEmpty(); }
    ~TemporaryLog() { ::unlink(path.c_str()); }
    std::string Text() const { return ReadSmallFile(path, 1 << 20).value_or(""); }
    void Clear() const { LogWriter::CreateEmpty(); }
};

} // namespace zelvo::test
