#pragma once
#include "core/LogWriter.h"
#include "platform/Files.h"

#include <unistd.h>

#include <string>

namespace zelvo::test {

// A fresh manager.log of the test's own, removed at the end.
struct TemporaryLog
{
    const std::string path = "/tmp/zelvo-test-" + std::to_string(::getpid()) + ".log";
    TemporaryLog() { LogWriter::SetLogPath(path), LogWriter::CreateEmpty(); }
    ~TemporaryLog() { ::unlink(path.c_str()); }
    std::string Text() const { return ReadSmallFile(path, 1 << 20).value_or(""); }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }
};

} // namespace zelvo::test
