// The libcurl FTP client against the mini FTP server on loopback, and its parsers of PWD
// replies and name listings, hostile and oddly formed ones included.
#include "platform/FtpClient.h"
#include "platform/Files.h"
#include "platform/FtpReplies.h"
#include "support/MiniFtpServer.h"
#include "support/OutcomeValue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace zelvo {
namespace {

using namespace std::string_literals;
using test::MiniFtpServer;
using Fault = MiniFtpServer::Fault;
using Names = std::vector<std::string>;

// Bytes a text-mode transfer would change.
const std::string kConfigBytes =
    std::string("line\r\nnext\n\0\xff end", 16) + std::string(3000, 'x');

std::string ReadAll(const std::string& path)
{
    return ReadSmallFile(path, 1 << 20).value_or("");
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Sets stop after ms, from a thread of its own that the destructor joins.
std::jthread StopLater(std::atomic<bool>& stop, int ms)
{
    return std::jthread([&stop, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        stop = true;
    });
}

class FtpClientTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { InitFtpLibrary(); }
    FtpClientTest()
    {
        char name[] = "/tmp/zelvo-ftp-XXXXXX";
        folder = ::mkdtemp(name);
        local = folder + "/nas_ABCDEF.dat";
        server.AddDirectory("/config");
        server.AddDirectory("/firmware");
        server.PutFile("/config/nas_ABCDEF.dat", kConfigBytes);
    }
    ~FtpClientTest() override { std::filesystem::remove_all(folder); }

    Outcome<std::unique_ptr<FtpConnection>> Connect(int silence = 60)
    {
        FtpLogin login{"127.0.0.1", server.Port(),   "korblenx",
                       "ferntide",  "VELDIX Upload", silence};
        return client->Connect(login, &stop);
    }
    // Logged in and in /config, an earlier backup in the folder.
    std::unique_ptr<FtpConnection> InConfig()
    {
        WriteAll(local, "an older backup");
        stop = false;
        auto ftp = Connect();
        EXPECT_TRUE(ftp.Ok() && ftp.Value()->ChangeDirectory("/config").Ok())
            << test::FailureOf(ftp).reason;
        return ftp.Ok() ? std::move(ftp.Value()) : nullptr;
    }
    MiniFtpServer server;
    std::shared_ptr<FtpClient> client = MakeCurlFtpClient();
    std::atomic<bool> stop{false};
    std::string folder, local;
};

TEST_F(FtpClientTest, walksDirectoriesListsFetchesStoresAndDeletes)
{
    auto connected = Connect();
    ASSERT_TRUE(connected.Ok()) << connected.Error().reason;
    auto& ftp = connected.Value();
    ASSERT_EQ(ftp->ChangeDirectory("config").Code(), kFtpOk);
    EXPECT_EQ(test::ValueOf(ftp->CurrentDirectory()), "/config");

    WriteAll(local, "an older backup");
    ASSERT_EQ(ftp->Retrieve("nas_ABCDEF.dat", local).Code(), kFtpOk);
    EXPECT_EQ(ReadAll(local), kConfigBytes);

    ASSERT_EQ(ftp->ChangeDirectory("/firmware").Code(), kFtpOk);
    const auto upload = OpenUploadFile(local, nullptr);
    ASSERT_TRUE(upload.Ok()) << upload.Error().reason;
    bool began = false;
    ASSERT_EQ(ftp->Store(*upload.Value(), "abcd1234.fup.part", began).Code(), kFtpOk);
    ASSERT_EQ(ftp->Rename("abcd1234.fup.part", "abcd1234.fup").Code(), kFtpOk);
    EXPECT_EQ(server.File("/firmware/abcd1234.fup"), kConfigBytes);
    ASSERT_EQ(ftp->Delete("abcd1234.fup").Code(), kFtpOk);
    EXPECT_FALSE(server.File("/firmware/abcd1234.fup"));
    EXPECT_EQ(server.Sessions(), 1); // one connection carries the whole job
}

// A session is kept only when asked, only after steps that all worked, and for the next
// connection only, which starts in the login directory as a fresh one does.
TEST_F(FtpClientTest, aKeptSessionCarriesTheNextConnectionOnly)
{
    const struct
    {
        const char* what;
        bool keep;    // asked before the first connection
        bool fail;    // a step of the first connection fails
        bool drop;    // the keeping ends before the second connection
        int sessions; // the server's logins for three connections, one after the other
    } cases[] = {
        {"kept", true, false, false, 2},
        {"not asked", false, false, false, 3},
        {"after a failed step", true, true, false, 3},
        {"dropped", true, false, true, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = server.Sessions();
        if (c.keep)
            client->KeepNextSession();
        for (int i = 0; i < 3; ++i) {
            auto connected = Connect();
            ASSERT_TRUE(connected.Ok()) << connected.Error().reason;
            auto& ftp = connected.Value();
            EXPECT_EQ(test::ValueOf(ftp->CurrentDirectory()), "/");
            ASSERT_EQ(ftp->ChangeDirectory("config").Code(), kFtpOk);
            if (i == 0 && c.fail) {
                EXPECT_EQ(ftp->Retrieve("nothing.dat", local).Code(), kFtpExtendedError);
            }
            EXPECT_EQ(test::ValueOf(ftp->ListNames()), Names{"nas_ABCDEF.dat"});
            ftp.reset();
            if (i == 0 && c.drop)
                client->DropKeptSession();
        }
        EXPECT_EQ(server.Sessions() - before, c.sessions);
        client->DropKeptSession();
    }
}

TEST_F(FtpClientTest, failuresCarryTheirOwnCodesAndASilentServerEndsAtAStopOrItsLimit)
{
    auto connected = Connect();
    ASSERT_TRUE(connected.Ok());
    auto& ftp = connected.Value();
    EXPECT_EQ(ftp->ChangeDirectory("/missing").Code(), kFtpExtendedError);
    const Failure missing = test::FailureOf(ftp->Retrieve("nothing.dat", folder + "/x.dat"));
    EXPECT_EQ(missing.code, kFtpExtendedError);
    EXPECT_NE(missing.reason.find("550"), std::string::npos) << missing.reason;
    EXPECT_EQ(ftp->Delete("nothing.dat").Code(), kFtpExtendedError);
    EXPECT_EQ(ftp->Rename("nothing.dat", "other.dat").Code(), kFtpExtendedError);
    EXPECT_EQ(ftp->ChangeDirectory("/config").Code(), kFtpOk);
    EXPECT_EQ(ftp->Retrieve("nas_ABCDEF.dat", folder + "/no/such/folder/x.dat").Code(),
              kFtpPathNotFound);
    // A name may not smuggle a second command onto the control connection.
    EXPECT_NE(ftp->Delete("a\r\nDELE nas_ABCDEF.dat").Code(), kFtpOk);
    // Any later reply comes after a smuggled command was carried out.
    (void)ftp->CurrentDirectory();
    EXPECT_TRUE(server.File("/config/nas_ABCDEF.dat"));

    ftp.reset(); // the server takes one session at a time
    server.SetFault(Fault::RefuseLogin);
    EXPECT_EQ(Connect().Code(), kFtpLoginFailure);
    FtpLogin closed{"127.0.0.1", MiniFtpServer().Port(), "korblenx", "ferntide", "", 60};
    EXPECT_EQ(client->Connect(closed, &stop).Code(), kFtpCannotConnect);

    // A server that never greets: the stop request or the silence limit ends the wait.
    server.SetFault(Fault::SilentGreeting);
    {
        const auto asker = StopLater(stop, 300);
        EXPECT_EQ(Connect().Code(), kFtpCancelled);
    }
    stop = false;
    EXPECT_EQ(Connect(1).Code(), kFtpTimeout);
}

// A cut-off upload says it began: the server may hold a part under its name.
TEST_F(FtpClientTest, aCutOffUploadSaysItBegan)
{
    server.SetFault(Fault::CutStore);
    auto ftp = InConfig();
    ASSERT_TRUE(ftp);
    WriteAll(local, std::string(200000, 'u'));
    const auto upload = OpenUploadFile(local, nullptr);
    ASSERT_TRUE(upload.Ok());
    bool began = false;
    EXPECT_NE(ftp->Store(*upload.Value(), "nas_ABCDEF.dat.part", began).Code(), kFtpOk);
    EXPECT_TRUE(began);
}

// The backup folder on a small disk of its own, mounted in a mount namespace of this
// thread (libcurl writes a download from the thread that runs the step).
TEST_F(FtpClientTest, aFullDiskFailsTheDownloadWithItsOwnCode)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounts a small disk: root only";
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(::mount("zelvo-full", folder.c_str(), "tmpfs", 0, "size=64k"), 0);
    server.PutFile("/config/nas_ABCDEF.dat", std::string(48 << 10, 'c'));
    auto ftp = InConfig();
    ASSERT_TRUE(ftp);
    WriteAll(folder + "/filler", std::string(40 << 10, 'f'));
    EXPECT_EQ(ftp->Retrieve("nas_ABCDEF.dat", local).Code(), kFtpDiskFull);
    ::umount2(folder.c_str(), MNT_DETACH);
}

// However a download or a listing ends early, the earlier backup is whole and alone. A
// server that sends more than a unit ever holds meets the step's limit: its own code, and
// the PC's memory and disk do not grow with what the server sends.
TEST_F(FtpClientTest, stepsEndedEarlyLeaveTheOlderBackupAloneAndKeepToTheirLimits)
{
    const struct
    {
        const char* what;
        Fault fault;
        std::size_t lines; // of a generated listing; 0: the download
        std::size_t lineBytes;
        int code;
    } cases[] = {
        {"a download cut off", Fault::CutRetrieve, 0, 0, kFtpTransferCutOff},
        {"a stalled download stopped", Fault::StallRetrieve, 0, 0, kFtpCancelled},
        {"many short names", Fault::None, kFtpListingLimitNames + 1, 3, kFtpListingTooLong},
        {"one endless line", Fault::None, 1, 4 << 20, kFtpListingTooLong},
        {"a download without end", Fault::EndlessRetrieve, 0, 0, kFtpFileTooLarge},
    };
    // The peak resident size of this process, in bytes.
    const auto peak = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line) && line.rfind("VmHWM:", 0) != 0) {
        }
        return line.empty() ? -1 : std::stol(line.substr(6)) * 1024;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.SetGeneratedListing(c.lines, c.lineBytes);
        server.SetFault(c.fault);
        auto ftp = InConfig();
        ASSERT_TRUE(ftp);
        std::jthread asker;
        if (c.code == kFtpCancelled)
            asker = StopLater(stop, 500);
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak
        const long before = peak();
        const Failure got = c.lines ? test::FailureOf(ftp->ListNames())
                                    : test::FailureOf(ftp->Retrieve("nas_ABCDEF.dat", local));
        // Without the limits a million names grew the peak by 86 MB. The bound leaves room
        // for a sanitizer build: ASan holds freed blocks in quarantine for a while, and
        // under TSan the endless line alone grew the peak by 38 MB.
        EXPECT_LT(peak() - before, 48l << 20);
        EXPECT_EQ(got.code, c.code) << got.reason;
        EXPECT_EQ(ReadAll(local), "an older backup");
        const std::filesystem::directory_iterator files(folder), end;
        EXPECT_EQ(std::distance(files, end), 1) << "a part file stayed beside the backup";
        // After a stop every later step fails at once.
        EXPECT_TRUE(c.code != kFtpCancelled ||
                    ftp->Delete("nas_ABCDEF.dat").Code() == kFtpCancelled);
    }
    EXPECT_TRUE(server.File("/config/nas_ABCDEF.dat"));
}

TEST_F(FtpClientTest, anUploadFileThatCannotBeReadFailsBeforeTheUnitIsReached)
{
    WriteAll(local, "a file");
    stop = true;
    const struct
    {
        const char* what;
        std::string path;
        const std::atomic<bool>* stop;
        int code;
    } cases[] = {
        {"missing", folder + "/missing.fup", nullptr, kFtpFileNotFound},
        {"under a file", local + "/abcd1234.fup", nullptr, kFtpPathNotFound},
        {"a folder", folder, nullptr, kFtpReadFault},
        {"a read error", "/proc/self/mem", nullptr, kFtpReadFault}, // EIO at its start
        {"stopped", local, &stop, kFtpCancelled},
    };
    for (const auto& c : cases) {
        const Failure failed = test::FailureOf(OpenUploadFile(c.path, c.stop));
        EXPECT_EQ(failed.code, c.code) << c.what << ": " << failed.reason;
    }
}

TEST(FtpRepliesTest, pwdReplies)
{
    const struct
    {
        const char* what;
        std::string replies;
        std::optional<std::string> path;
    } cases[] = {
        {"a unit's reply", "257 \"/config\" is the current directory\r\n", "/config"},
        {"line feeds only", "250 Directory successfully changed.\n257 \"/fw\"\n", "/fw"},
        {"a doubled quote is one quote", "257 \"/a\"\"b\" is current\r\n", "/a\"b"},
        {"spaces stay", "257 \"/my dir/ two \" ok\r\n", "/my dir/ two "},
        {"no line break at the end", "257 \"/config\"", "/config"},
        {"the last reply counts", "257 \"/old\"\r\n250 ok\r\n257 \"/new\" ok\r\n", "/new"},
        {"no quotes", "257 /config is the current directory\r\n", std::nullopt},
        {"no closing quote before the line ends", "257 \"/config\r\n250 \"x\"\r\n", std::nullopt},
        {"a doubled quote that ends the input", "257 \"/a\"\"", std::nullopt},
        {"a NUL in the path", "257 \"/con\0fig\" ok\r\n"s, std::nullopt},
        {"257 inside a greeting's text", "220-hello 257 \"/evil\"\r\n220 ready\r\n", std::nullopt},
        {"a continuation line is no reply", "257-\"/x\" follows\r\n", std::nullopt},
        {"another reply code", "250 \"/x\" is here\r\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePwdReply(c.replies), c.path) << c.what;
}

TEST(FtpRepliesTest, nameListings)
{
    const struct
    {
        const char* what;
        std::string listing;
        std::vector<std::string> names;
    } cases[] = {
        {"CRLF lines in the server's order", "z.fup\r\nCONFIG.INI\r\n", {"z.fup", "CONFIG.INI"}},
        {"mixed line ends, none at the end", "a\r\nb\nc", {"a", "b", "c"}},
        {"empty lines give nothing", "\r\n\na\r\n\r\n\nb\n\r\n", {"a", "b"}},
        {"a folder before the name",
         "/config/CONFIG.INI\r\nfw/new.fup\r\n",
         {"CONFIG.INI", "new.fup"}},
        {"a folder alone gives nothing", "config/\r\n/\r\n", {}},
        {"dots give nothing", ".\r\n..\r\nconfig/..\r\n...\r\n.hidden\r\n", {"...", ".hidden"}},
        {"spaces are part of the name", " my file.fup \r\n", {" my file.fup "}},
        {"a name with a carriage return inside", "a\rb.fup\r\nc.fup\r\n", {"c.fup"}},
        {"a name with a NUL", "CONFIG.INI\0.old\r\n\0\r\nb\r\n"s, {"b"}},
        {"bytes above ASCII stay", "f\xc3\xbc r\xff\r\n", {"f\xc3\xbc r\xff"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNameListing(c.listing), c.names) << c.what;
}

} // namespace
} // namespace zelvo
