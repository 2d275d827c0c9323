// One FTP job moving one large file, timed, with the process's resident memory sampled
// while it runs. bench/ftp.row.sh runs it in the lab next to curl's own command line.
//   zelvo_bench_ftp upload|download <unit address> <local file> <remote name>
// upload: UploadJob into the configuration directory; download: FetchConfigJob (which
// also deletes the unit's copy once the local one is complete).
// Prints: "ms=<elapsed> result=<job result> rss_before_kb=<> rss_max_kb=<>".
#include "core/LogWriter.h"
#include "transfer/TransferJob.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 ||
        (std::strcmp(argv[1], "upload") != 0 && std::strcmp(argv[1], "download") != 0)) {
        std::fprintf(stderr,
                     "usage: %s upload|download <unit address> <local file> <remote name>\n",
                     argv[0]);
        return 2;
    }
    zelvo::InitFtpLibrary();
    zelvo::LogWriter::SetLogPath("/dev/null");
    const bool upload = std::strcmp(argv[1], "upload") == 0;

    zelvo::TransferJob job;
    job.server = argv[2];
    job.localPath = argv[3];
    job.remoteName = argv[4];
    job.kind = zelvo::kTransferKindConfig;
    job.configDirectory = "/config";
    job.firmwareDirectory = "/firmware";
    job.ftp = zelvo::MakeCurlFtpClient();

    const long before = ResidentKb();
    std::atomic<long> highest{before};
    std::atomic<bool> running{true};
    std::thread sampler([&] {
        while (running.load()) {
            const long now = ResidentKb();
            if (now > highest.load())
                highest = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    if (upload)
        zelvo::UploadJob(job);
    else
        zelvo::FetchConfigJob(job);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    running = false;
    sampler.join();
    std::printf("ms=%lld result=%d rss_before_kb=%ld rss_max_kb=%ld\n",
                static_cast<long long>(elapsed.count()), job.result, before, highest.load());
    return job.result == 0 ? 0 : 1;
}
