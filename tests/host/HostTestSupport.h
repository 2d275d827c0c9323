#pragma once
#include "app/LogWriter.h"
#include "host/HostInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zelvo::test {

// A fresh directory under the system's temporary directory, removed with its owner.
class TempDirectory
{
public:
    TempDirectory()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelvo-host-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempDirectory()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Points manager.log at a fresh file of dir and resets the process-wide host values.
inline void FreshLogAndHost(const TempDirectory& dir)
{
    ASSERT_FALSE(dir.path().empty());
    LogWriter::SetLogPath(dir.File("manager.log"));
    ASSERT_TRUE(LogWriter::CreateEmpty());
    ProcessHost() = HostGlobals{};
}

} // namespace zelvo::test
