// The four FTP jobs over an FTP world in memory, and the file-name rules they use.
#include "support/TemporaryLog.h"
#include "transfer/FakeFtp.h"
#include "transfer/FileNameRules.h"
#include "transfer/TransferJob.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace zelvo {
namespace {

using test::FakeFtp;
using Names = std::vector<std::string>;

Names Words(const std::string& text, char separator = ' ')
{
    Names words;
    std::stringstream in(text);
    for (std::string word; std::getline(in, word, separator);)
        if (!word.empty())
            words.push_back(word);
    return words;
}

// The steps, "; " between them: the local file L, the login "login", entering a directory
// (pwd, pwd, cwd, pwd) "enter DIR", an upload under a passing name then renamed "store NAME".
std::string Transcript(const FakeFtp& ftp)
{
    std::string text;
    for (const std::string& step : ftp.Steps())
        text += (text.empty() ? "" : "; ") + step;
    text = std::regex_replace(text, std::regex("/home/u/file"), "L");
    text = std::regex_replace(text, std::regex("login korblenx ferntide VELDIX Upload"), "login");
    text = std::regex_replace(text, std::regex("pwd; pwd; cwd (\\S+); pwd"), "enter $1");
    return std::regex_replace(text, std::regex("stor L (\\S+)\\.part; rename \\1\\.part \\1"),
                              "store $1");
}

constexpr const char* kCfg = "nas_ABCDEF.dat";
constexpr const char* kFw = "abcd1234.fup";

// A refused login: every later step fails on the missing connection (0x0006), and the last
// one's code is what the user sees. A check keeps its session for a fetch only when it
// found the file; else it logs out on its own worker, never on the window's thread. What a failed
// store left is deleted, on a connection of its own when the store's broke. The firmware kind
// deletes every *.fup and never looks for its own name; a file that cannot be read ends the job
// before the login.
TEST(TransferJobs, takeTheirStepsAndReportTheLastFailure)
{
    // name, job, remote name (a firmware name makes a firmware upload), failures ("step=code,
    // step=code"), the names in /config and /firmware before, result, steps, /firmware after.
    using Job = void (*)(TransferJob&);
    using T = const char*;
    const std::tuple<T, Job, T, T, T, T, int, T, T> cases[] = {
        {"check finds the file", CheckConfigJob, kCfg, "", kCfg, "", 80,
         "login; enter /config; list /config", ""},
        {"check without the file", CheckConfigJob, kCfg, "", "nas_abcdef.dat other.dat", "", 2,
         "login; enter /config; list /config", ""},
        {"refused login", CheckConfigJob, kCfg, "login=12015", kCfg, "", 6, "login", ""},
        {"missing directory", CheckConfigJob, kCfg, "cwd=12003", kCfg, "", 2,
         "login; pwd; pwd; cwd /config; list /", ""},
        {"fetch", FetchConfigJob, kCfg, "", kCfg, "", 0,
         "login; enter /config; retr nas_ABCDEF.dat L; dele nas_ABCDEF.dat", ""},
        {"failed fetch deletes nothing", FetchConfigJob, kCfg, "retr=12111", kCfg, "", 12111,
         "login; enter /config; retr nas_ABCDEF.dat L", ""},
        {"failed delete after a fetch", FetchConfigJob, kCfg, "dele=12003", kCfg, "", 0,
         "login; enter /config; retr nas_ABCDEF.dat L; dele nas_ABCDEF.dat", ""},
        {"config upload of an existing name", CheckAndUploadJob, kCfg, "", kCfg, "", 80,
         "open L; login; enter /config; list /config", ""},
        {"config upload of a new name", CheckAndUploadJob, kCfg, "", "", "", 0,
         "open L; login; enter /config; list /config; store nas_ABCDEF.dat", ""},
        {"firmware deletes every fup", CheckAndUploadJob, kFw, "", "",
         "abcd1234.fup readme.txt efgh5678.fup x.FUP", 0,
         "open L; login; enter /firmware; list /firmware; dele abcd1234.fup; dele efgh5678.fup; "
         "store abcd1234.fup",
         "readme.txt x.FUP abcd1234.fup"},
        {"firmware stops deleting at a failure", CheckAndUploadJob, kFw, "dele aaaa0001.fup=12003",
         "", "aaaa0001.fup bbbb0002.fup", 0,
         "open L; login; enter /firmware; list /firmware; dele aaaa0001.fup; store abcd1234.fup",
         "aaaa0001.fup bbbb0002.fup abcd1234.fup"},
        {"firmware gives 80 only from the store", CheckAndUploadJob, kFw, "stor=80", "", "", 80,
         "open L; login; enter /firmware; list /firmware; stor L abcd1234.fup.part; "
         "dele abcd1234.fup.part",
         ""},
        {"unreadable firmware", CheckAndUploadJob, kFw, "open=5", "", "aaaa0001.fup", 5, "open L",
         "aaaa0001.fup"},
        {"listing past its limit", CheckAndUploadJob, kFw, "list=234", "", "aaaa0001.fup", 234,
         "open L; login; enter /firmware; list /firmware", "aaaa0001.fup"},
        // No RNFR/RNTO: the passing copy goes, the file is stored again under its own name.
        {"refused rename", CheckAndUploadJob, kFw, "rename=12003", "", "", 0,
         "open L; login; enter /firmware; list /firmware; store abcd1234.fup; "
         "dele abcd1234.fup.part; stor L abcd1234.fup",
         kFw},
        {"upload overwrites", UploadJob, kCfg, "", kCfg, "", 0,
         "open L; login; enter /config; store nas_ABCDEF.dat", ""},
        {"cut-off upload", UploadJob, kFw, "stor=12030", "", "", 12030,
         "open L; login; enter /firmware; stor L abcd1234.fup.part; login; cwd /firmware; "
         "dele abcd1234.fup.part",
         ""}};
    for (const auto& [name, run, remoteName, failures, config, firmware, result, steps,
                      firmwareAfter] : cases) {
        SCOPED_TRACE(name);
        auto ftp = std::make_shared<FakeFtp>();
        for (const std::string& failure : Words(failures, ','))
            ftp->failures[failure.substr(0, failure.find('='))] =
                std::stoi(failure.substr(failure.find('=') + 1));
        ftp->directories["/config"] = Words(config);
        ftp->directories["/firmware"] = Words(firmware);
        TransferJob job;
        job.localPath = "/home/u/file";
        job.remoteName = remoteName;
        job.kind = job.remoteName.ends_with(".fup") ? kTransferKindFirmware : kTransferKindConfig;
        job.configDirectory = "/config";
        job.firmwareDirectory = "/firmware";
        job.ftp = ftp;
        if (run == CheckConfigJob)
            ftp->KeepNextSession();
        run(job);
        EXPECT_EQ(job.result, result);
        EXPECT_EQ(ftp->Keeping(), run == CheckConfigJob && result == 80);
        EXPECT_EQ(Transcript(*ftp), steps);
        EXPECT_EQ(ftp->directories["/firmware"], Words(firmwareAfter));
        EXPECT_FALSE(job.noDirectoryGiven);
    }
}

// A job with no directory in the settings stays where the login put it, and says so; a
// failing step is logged with its code and the library's reason.
TEST(TransferJobs, anEmptyDirectoryIsReportedAndFailuresAreLogged)
{
    test::TemporaryLog log;
    auto ftp = std::make_shared<FakeFtp>();
    ftp->failures["list"] = kFtpTimeout;
    TransferJob job;
    job.remoteName = kCfg;
    job.ftp = ftp;
    CheckConfigJob(job);
    EXPECT_TRUE(job.noDirectoryGiven);
    EXPECT_EQ(job.result, kFtpTimeout);
    EXPECT_EQ(Transcript(*ftp), "login; pwd; pwd; list /");
    EXPECT_EQ(log.Text(), "  FTP find failed 0x2ee2: list failed\r\n");
}

TEST(FileNameRules, configAndFirmwareNamesAndPaths)
{
    EXPECT_EQ(ConfigFileName("00-11-22-ab-cd-ef"), "nas_ABCDEF.dat");
    EXPECT_EQ(ConfigFileName("00-11-22-0a-1b-2c"), "nas_0A1B2C.dat");
    EXPECT_EQ(ConfigFileName("02-5a-e1-40-00"), ""); // never read past a short text
    for (const std::string& name : Words("abcd1234.fup ABCD1234.fup abcd1234.fupx"))
        EXPECT_TRUE(IsFirmwareFileName(name)) << name;
    for (const std::string& name : Words("ab1d1234.fup abcd12x4.fup abcd1234.FUP abcd1234.fu "
                                         "abcd1234_fup äbcd1234.fup abc1234.fup"))
        EXPECT_FALSE(IsFirmwareFileName(name)) << name;
    EXPECT_FALSE(IsFirmwareFileName(""));
    EXPECT_TRUE(FitsTransferBuffer(std::string(259, 'p')));
    EXPECT_FALSE(FitsTransferBuffer(std::string(260, 'p')));
    EXPECT_EQ(FileNameOfPath("/a/b/nas_ABCDEF.dat"), "nas_ABCDEF.dat");
    EXPECT_EQ(FileNameOfPath("x.fup"), "x.fup");
}

} // namespace
} // namespace zelvo
