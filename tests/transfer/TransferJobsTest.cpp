// The four FTP jobs over an FTP world in memory: the order of their steps, the
// last-failing-step rule, the firmware delete loop, and that an upload reads its file
// before it touches the unit and leaves nothing cut off behind.
#include "transfer/FakeFtp.h"
#include "transfer/TransferJob.h"

#include <gtest/gtest.h>

namespace zelvo {
namespace {

using test::FakeFtp;
using Steps = std::vector<std::string>;

enum class Job
{
    Check,
    Fetch,
    CheckAndUpload,
    Upload
};

struct JobCase
{
    const char* name;
    Job job;
    int kind;
    std::string remoteName;
    int loginCode;
    std::map<std::string, int> failures;
    std::vector<std::string> configFiles;
    std::vector<std::string> firmwareFiles;
    int expectedResult;
    Steps expectedSteps; // after the login step
    std::vector<std::string> firmwareAfter;
};

const char* kLogin = "login korblenx ferntide VELDIX Upload";

// Entering a directory: read it, read it again, change, read once more.
Steps Enter(const std::string& directory)
{
    return {"pwd", "pwd", "cwd " + directory, "pwd"};
}

Steps Concat(std::initializer_list<Steps> parts)
{
    Steps all;
    for (const Steps& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class TransferJobs : public ::testing::TestWithParam<JobCase>
{
};

TEST_P(TransferJobs, takeTheirStepsAndReportTheLastFailure)
{
    const JobCase& c = GetParam();
    auto ftp = std::make_shared<FakeFtp>();
    ftp->loginCode = c.loginCode;
    ftp->failures = c.failures;
    ftp->directories["/config"] = c.configFiles;
    ftp->directories["/firmware"] = c.firmwareFiles;

    TransferJob job;
    job.server = "10.231.7.21";
    job.localPath = "/home/u/nas_ABCDEF.dat";
    job.remoteName = c.remoteName;
    job.kind = c.kind;
    job.configDirectory = "/config";
    job.firmwareDirectory = "/firmware";
    job.ftp = ftp;
    job.result = 0;
    switch (c.job) {
    case Job::Check:
        CheckConfigJob(job);
        break;
    case Job::Fetch:
        FetchConfigJob(job);
        break;
    case Job::CheckAndUpload:
        CheckAndUploadJob(job);
        break;
    case Job::Upload:
        UploadJob(job);
        break;
    }
    EXPECT_EQ(job.result, c.expectedResult);
    // An upload opens its local file before it logs in.
    Steps expected;
    const bool upload = c.job == Job::CheckAndUpload || c.job == Job::Upload;
    if (upload)
        expected.push_back("open " + job.localPath);
    if (!upload || !c.failures.count("open"))
        expected.push_back(kLogin);
    expected.insert(expected.end(), c.expectedSteps.begin(), c.expectedSteps.end());
    EXPECT_EQ(ftp->Steps(), expected);
    EXPECT_EQ(ftp->directories["/firmware"], c.firmwareAfter);
    EXPECT_FALSE(job.noDirectoryGiven);
}

const std::string kLocal = "/home/u/nas_ABCDEF.dat";

// An upload goes up under a passing name and takes its own when complete.
Steps StoreAndRename(const std::string& name)
{
    return {"stor " + kLocal + " " + name + ".part", "rename " + name + ".part " + name};
}

INSTANTIATE_TEST_SUITE_P(
    Table, TransferJobs,
    ::testing::Values(
        JobCase{"checkFindsTheFile",
                Job::Check,
                0,
                "nas_ABCDEF.dat",
                0,
                {},
                {"nas_ABCDEF.dat"},
                {},
                80,
                Concat({Enter("/config"), {"list /config"}}),
                {}},
        JobCase{"checkWithoutTheFileSaysNotFound",
                Job::Check,
                0,
                "nas_ABCDEF.dat",
                0,
                {},
                {"nas_abcdef.dat", "other.dat"},
                {},
                2,
                Concat({Enter("/config"), {"list /config"}}),
                {}},
        // A refused login: every later step fails on the missing connection, and the
        // code of the last one is what the user sees.
        JobCase{"checkAfterARefusedLoginShowsTheLastStep",
                Job::Check,
                0,
                "nas_ABCDEF.dat",
                kFtpLoginFailure,
                {},
                {"nas_ABCDEF.dat"},
                {},
                kFtpInvalidHandle,
                {},
                {}},
        JobCase{"checkWhoseListingFailsReportsIt",
                Job::Check,
                0,
                "nas_ABCDEF.dat",
                0,
                {{"list", kFtpConnectionAborted}},
                {"nas_ABCDEF.dat"},
                {},
                kFtpConnectionAborted,
                Concat({Enter("/config"), {"list /config"}}),
                {}},
        JobCase{"checkInAMissingDirectoryStillSearches",
                Job::Check,
                0,
                "nas_ABCDEF.dat",
                0,
                {{"cwd", kFtpExtendedError}},
                {"nas_ABCDEF.dat"},
                {},
                2,
                {"pwd", "pwd", "cwd /config", "list /"},
                {}},
        JobCase{
            "fetchRetrievesThenDeletes",
            Job::Fetch,
            0,
            "nas_ABCDEF.dat",
            0,
            {},
            {"nas_ABCDEF.dat"},
            {},
            0,
            Concat({Enter("/config"), {"retr nas_ABCDEF.dat " + kLocal, "dele nas_ABCDEF.dat"}}),
            {}},
        JobCase{"fetchThatFailsDeletesNothing",
                Job::Fetch,
                0,
                "nas_ABCDEF.dat",
                0,
                {{"retr", kFtpTransferCutOff}},
                {"nas_ABCDEF.dat"},
                {},
                kFtpTransferCutOff,
                Concat({Enter("/config"), {"retr nas_ABCDEF.dat " + kLocal}}),
                {}},
        JobCase{
            "fetchWhoseDeleteFailsStillSucceeds",
            Job::Fetch,
            0,
            "nas_ABCDEF.dat",
            0,
            {{"dele", kFtpExtendedError}},
            {"nas_ABCDEF.dat"},
            {},
            0,
            Concat({Enter("/config"), {"retr nas_ABCDEF.dat " + kLocal, "dele nas_ABCDEF.dat"}}),
            {}},
        JobCase{"configUploadRefusesAnExistingName",
                Job::CheckAndUpload,
                1,
                "nas_ABCDEF.dat",
                0,
                {},
                {"nas_ABCDEF.dat"},
                {},
                80,
                Concat({Enter("/config"), {"list /config"}}),
                {}},
        JobCase{"configUploadStoresANewName",
                Job::CheckAndUpload,
                1,
                "nas_ABCDEF.dat",
                0,
                {},
                {},
                {},
                0,
                Concat({Enter("/config"), {"list /config"}, StoreAndRename("nas_ABCDEF.dat")}),
                {}},
        JobCase{"configUploadAfterARefusedLogin",
                Job::CheckAndUpload,
                1,
                "nas_ABCDEF.dat",
                kFtpLoginFailure,
                {},
                {},
                {},
                kFtpInvalidHandle,
                {},
                {}},
        // The firmware kind deletes every *.fup and never looks for its own name.
        JobCase{"firmwareDeletesEveryFupThenStores",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {},
                {},
                {"abcd1234.fup", "readme.txt", "efgh5678.fup", "x.FUP"},
                0,
                Concat({Enter("/firmware"),
                        {"list /firmware", "dele abcd1234.fup", "dele efgh5678.fup"},
                        StoreAndRename("abcd1234.fup")}),
                {"readme.txt", "x.FUP", "abcd1234.fup"}},
        JobCase{"firmwareStopsDeletingAtTheFirstFailureAndStillStores",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {{"dele aaaa0001.fup", kFtpExtendedError}},
                {},
                {"aaaa0001.fup", "bbbb0002.fup"},
                0,
                Concat({Enter("/firmware"),
                        {"list /firmware", "dele aaaa0001.fup"},
                        StoreAndRename("abcd1234.fup")}),
                {"aaaa0001.fup", "bbbb0002.fup", "abcd1234.fup"}},
        // What the failed store left is deleted on the same connection.
        JobCase{"firmwareGives80OnlyWhenTheStoreDoes",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {{"stor", 80}},
                {},
                {},
                80,
                Concat({Enter("/firmware"),
                        {"list /firmware", "stor " + kLocal + " abcd1234.fup.part",
                         "dele abcd1234.fup.part"}}),
                {}},
        // A file that cannot be read ends the job before the login: the unit keeps its
        // firmware.
        JobCase{"firmwareWhoseFileCannotBeReadTouchesNothing",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {{"open", kFtpAccessDenied}},
                {},
                {"aaaa0001.fup"},
                kFtpAccessDenied,
                {},
                {"aaaa0001.fup"}},
        JobCase{"firmwareWhoseListingPassesItsLimitDeletesAndStoresNothing",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {{"list", kFtpListingTooLong}},
                {},
                {"aaaa0001.fup"},
                kFtpListingTooLong,
                Concat({Enter("/firmware"), {"list /firmware"}}),
                {"aaaa0001.fup"}},
        // A server without RNFR/RNTO: the passing copy goes, the file is stored again
        // under its own name.
        JobCase{"aRefusedRenameStoresUnderTheOwnName",
                Job::CheckAndUpload,
                2,
                "abcd1234.fup",
                0,
                {{"rename", kFtpExtendedError}},
                {},
                {},
                0,
                Concat({Enter("/firmware"),
                        {"list /firmware", "stor " + kLocal + " abcd1234.fup.part",
                         "rename abcd1234.fup.part abcd1234.fup", "dele abcd1234.fup.part",
                         "stor " + kLocal + " abcd1234.fup"}}),
                {"abcd1234.fup"}},
        JobCase{"uploadOverwritesInTheConfigDirectory",
                Job::Upload,
                1,
                "nas_ABCDEF.dat",
                0,
                {},
                {"nas_ABCDEF.dat"},
                {},
                0,
                Concat({Enter("/config"), StoreAndRename("nas_ABCDEF.dat")}),
                {}},
        // The link breaks during the store: what reached the unit is deleted over a
        // connection of its own, and the file's own name never appears.
        JobCase{"anUploadCutOffIsDeletedOverAFreshConnection",
                Job::Upload,
                2,
                "abcd1234.fup",
                0,
                {{"stor", kFtpConnectionAborted}},
                {},
                {},
                kFtpConnectionAborted,
                Concat({Enter("/firmware"),
                        {"stor " + kLocal + " abcd1234.fup.part", kLogin, "cwd /firmware",
                         "dele abcd1234.fup.part"}}),
                {}}),
    [](const ::testing::TestParamInfo<JobCase>& info) { return std::string(info.param.name); });

TEST(TransferJobsDirectory, anEmptyDirectoryIsReportedAndNotChangedTo)
{
    auto ftp = std::make_shared<FakeFtp>();
    TransferJob job;
    job.remoteName = "nas_ABCDEF.dat";
    job.ftp = ftp;
    CheckConfigJob(job);
    EXPECT_TRUE(job.noDirectoryGiven);
    EXPECT_EQ(job.result, 2);
    EXPECT_EQ(ftp->Steps(), (Steps{kLogin, "pwd", "pwd", "list /"}));
}

} // namespace
} // namespace zelvo
