// The libcurl FTP client against a small FTP server on loopback: the steps the jobs
// rely on, the codes of the failures, that a download never leaves a torn file, and the
// limits on what a server may send.
#include "platform/FtpClient.h"
#include "support/MiniFtpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using test::MiniFtpServer;
using Clock = std::chrono::steady_clock;

// Bytes a text-mode transfer would change.
const std::string kConfigBytes =
    std::string("line\r\nnext\n\0\xff end", 16) + std::string(3000, 'x');

class TempFolder
{
public:
    TempFolder()
    {
        char name[] = "/tmp/zelvo-ftp-XXXXXX";
        m_path = ::mkdtemp(name);
    }
    ~TempFolder() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    const std::string& Path() const { return m_path; }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(m_path.c_str())) {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.' || std::string(entry->d_name).size() > 2)
                    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                        names.push_back(entry->d_name);
            ::closedir(dir);
        }
        return names;
    }

private:
    std::string m_path;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

FtpLogin LoginFor(const MiniFtpServer& server, int silence = 60)
{
    FtpLogin login;
    login.host = "127.0.0.1";
    login.port = server.Port();
    login.user = "korblenx";
    login.password = "ferntide";
    login.agent = "VELDIX Upload";
    login.silenceLimitSeconds = silence;
    return login;
}

class FtpClientTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { InitFtpLibrary(); }
    void SetUp() override
    {
        server.AddDirectory("/config");
        server.AddDirectory("/firmware");
        server.PutFile("/config/nas_ABCDEF.dat", kConfigBytes);
    }
    std::unique_ptr<FtpConnection> Connect(FtpOutcome& outcome, int silence = 60)
    {
        return client->Connect(LoginFor(server, silence), &stop, outcome);
    }

    MiniFtpServer server;
    std::shared_ptr<FtpClient> client = MakeCurlFtpClient();
    std::atomic<bool> stop{false};
    TempFolder folder;
};

TEST_F(FtpClientTest, walksDirectoriesListsFetchesStoresAndDeletes)
{
    FtpOutcome outcome;
    auto ftp = Connect(outcome);
    ASSERT_TRUE(ftp) << outcome.reason;

    std::string cwd;
    ASSERT_EQ(ftp->CurrentDirectory(cwd).code, kFtpOk);
    EXPECT_EQ(cwd, "/");
    ASSERT_EQ(ftp->ChangeDirectory("config").code, kFtpOk);
    ASSERT_EQ(ftp->CurrentDirectory(cwd).code, kFtpOk);
    EXPECT_EQ(cwd, "/config");

    std::vector<std::string> names;
    ASSERT_EQ(ftp->ListNames(names).code, kFtpOk);
    EXPECT_EQ(names, std::vector<std::string>{"nas_ABCDEF.dat"});

    const std::string local = folder.Path() + "/nas_ABCDEF.dat";
    WriteAll(local, "an older backup");
    ASSERT_EQ(ftp->Retrieve("nas_ABCDEF.dat", local).code, kFtpOk);
    EXPECT_EQ(ReadAll(local), kConfigBytes);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"nas_ABCDEF.dat"});

    ASSERT_EQ(ftp->ChangeDirectory("/firmware").code, kFtpOk);
    FtpOutcome opened;
    const auto upload = OpenUploadFile(local, nullptr, opened);
    ASSERT_TRUE(upload) << opened.reason;
    EXPECT_EQ(upload->Size(), kConfigBytes.size());
    bool began = false;
    ASSERT_EQ(ftp->Store(*upload, "abcd1234.fup.part", began).code, kFtpOk);
    EXPECT_TRUE(began);
    ASSERT_EQ(ftp->Rename("abcd1234.fup.part", "abcd1234.fup").code, kFtpOk);
    EXPECT_EQ(server.FileBytes("/firmware/abcd1234.fup"), kConfigBytes);
    EXPECT_FALSE(server.HasFile("/firmware/abcd1234.fup.part"));
    ASSERT_EQ(ftp->Delete("abcd1234.fup").code, kFtpOk);
    EXPECT_FALSE(server.HasFile("/firmware/abcd1234.fup"));
    // One connection carries the whole job.
    EXPECT_EQ(server.Sessions(), 1);
}

TEST_F(FtpClientTest, failuresCarryTheirOwnCodes)
{
    FtpOutcome outcome;
    auto ftp = Connect(outcome);
    ASSERT_TRUE(ftp);
    EXPECT_EQ(ftp->ChangeDirectory("/missing").code, kFtpExtendedError);
    const FtpOutcome missing = ftp->Retrieve("nothing.dat", folder.Path() + "/x.dat");
    EXPECT_EQ(missing.code, kFtpExtendedError);
    EXPECT_NE(missing.reason.find("550"), std::string::npos) << missing.reason;
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_EQ(ftp->Delete("nothing.dat").code, kFtpExtendedError);
    EXPECT_EQ(ftp->Rename("nothing.dat", "other.dat").code, kFtpExtendedError);
    EXPECT_EQ(ftp->ChangeDirectory("/config").code, kFtpOk);
    EXPECT_EQ(ftp->Retrieve("nas_ABCDEF.dat", folder.Path() + "/no/such/folder/x.dat").code,
              kFtpPathNotFound);
    // A name may not smuggle a second command onto the control connection.
    EXPECT_NE(ftp->Delete("a\r\nDELE nas_ABCDEF.dat").code, kFtpOk);
    EXPECT_TRUE(server.HasFile("/config/nas_ABCDEF.dat"));
}

TEST_F(FtpClientTest, refusedLoginAndClosedPortFailTheConnect)
{
    server.SetFault(MiniFtpServer::Fault::RefuseLogin);
    FtpOutcome outcome;
    EXPECT_EQ(Connect(outcome), nullptr);
    EXPECT_EQ(outcome.code, kFtpLoginFailure);

    FtpLogin closed = LoginFor(server);
    {
        MiniFtpServer gone;
        closed.port = gone.Port();
    }
    EXPECT_EQ(client->Connect(closed, &stop, outcome), nullptr);
    EXPECT_EQ(outcome.code, kFtpCannotConnect);
}

TEST_F(FtpClientTest, aSilentServerEndsAtTheStopRequestOrItsSilenceLimit)
{
    server.SetFault(MiniFtpServer::Fault::SilentGreeting);
    std::thread asker([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    FtpOutcome outcome;
    const auto start = Clock::now();
    EXPECT_EQ(Connect(outcome), nullptr);
    asker.join();
    EXPECT_EQ(outcome.code, kFtpCancelled);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)); // hang guard

    stop = false;
    const auto limited = Clock::now();
    EXPECT_EQ(Connect(outcome, 1), nullptr);
    EXPECT_EQ(outcome.code, kFtpTimeout);
    EXPECT_LT(Clock::now() - limited, std::chrono::seconds(20)); // hang guard
}

TEST_F(FtpClientTest, aDownloadCutOffOrStoppedLeavesTheOldFileAndNoPart)
{
    const std::string local = folder.Path() + "/nas_ABCDEF.dat";
    for (const auto fault :
         {MiniFtpServer::Fault::CutRetrieve, MiniFtpServer::Fault::StallRetrieve}) {
        SCOPED_TRACE(static_cast<int>(fault));
        WriteAll(local, "an older backup");
        server.SetFault(fault);
        stop = false;
        FtpOutcome outcome;
        auto ftp = Connect(outcome);
        ASSERT_TRUE(ftp);
        ASSERT_EQ(ftp->ChangeDirectory("/config").code, kFtpOk);
        std::thread asker;
        if (fault == MiniFtpServer::Fault::StallRetrieve)
            asker = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                stop = true;
            });
        const FtpOutcome got = ftp->Retrieve("nas_ABCDEF.dat", local);
        if (asker.joinable())
            asker.join();
        EXPECT_NE(got.code, kFtpOk);
        if (fault == MiniFtpServer::Fault::StallRetrieve) {
            EXPECT_EQ(got.code, kFtpCancelled);
        }
        EXPECT_EQ(ReadAll(local), "an older backup");
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"nas_ABCDEF.dat"});
        // After a stop every later step fails at once.
        if (fault == MiniFtpServer::Fault::StallRetrieve) {
            EXPECT_EQ(ftp->Delete("nas_ABCDEF.dat").code, kFtpCancelled);
        }
    }
    EXPECT_TRUE(server.HasFile("/config/nas_ABCDEF.dat"));
}

// The peak resident size of this process, in bytes, since the last ResetPeakMemory.
long PeakMemoryBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) * 1024;
    return -1;
}

bool ResetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// A server that sends more than a unit ever holds: the step ends at the limit with its
// own code, without the PC's memory or disk growing with what the server sends.
TEST_F(FtpClientTest, listingsAndDownloadsEndAtTheirLimits)
{
    struct Case
    {
        const char* what;
        std::size_t lines; // of a generated listing; 0: the download
        std::size_t lineBytes;
        int code;
    };
    const Case cases[] = {
        {"a million names", 1000000, 20, kFtpListingTooLong},
        {"many short names", kFtpListingLimitNames + 1, 3, kFtpListingTooLong},
        {"one endless line", 1, 4 << 20, kFtpListingTooLong},
        {"a download without end", 0, 0, kFtpFileTooLarge},
    };
    const std::string local = folder.Path() + "/nas_ABCDEF.dat";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(local, "an older backup");
        server.SetGeneratedListing(c.lines, c.lineBytes);
        server.SetFault(c.lines == 0 ? MiniFtpServer::Fault::EndlessRetrieve
                                     : MiniFtpServer::Fault::None);
        FtpOutcome outcome;
        auto ftp = Connect(outcome);
        ASSERT_TRUE(ftp);
        ASSERT_EQ(ftp->ChangeDirectory("/config").code, kFtpOk);
        ASSERT_TRUE(ResetPeakMemory());
        const long before = PeakMemoryBytes();
        std::vector<std::string> names;
        const FtpOutcome got =
            c.lines ? ftp->ListNames(names) : ftp->Retrieve("nas_ABCDEF.dat", local);
        EXPECT_EQ(got.code, c.code) << got.reason;
        EXPECT_TRUE(names.empty());
        // Without the limits a million names grew the peak by 86 MB. The bound leaves room
        // for a sanitizer build, which holds freed blocks in quarantine for a while.
        EXPECT_LT(PeakMemoryBytes() - before, 32l << 20);
        EXPECT_EQ(ReadAll(local), "an older backup");
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"nas_ABCDEF.dat"});
    }
}

} // namespace
} // namespace zelvo
