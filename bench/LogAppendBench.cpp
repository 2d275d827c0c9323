// How many log lines a second the tool can append while several threads log at once.
// Goal: well above what a search writes (a few hundred lines), so logging never slows
// a search: at least 20,000 lines a second with 8 writers on the 2-core reference machine.
#include "core/LogWriter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

void BM_LogAppend(benchmark::State& state)
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("zelvo-bench-" + std::to_string(::getpid()) + ".log"))
                                        .string();
    if (state.thread_index() == 0) {
        zelvo::LogWriter::SetLogPath(path);
        zelvo::LogWriter::CreateEmpty();
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(zelvo::LogWriter::Appendf(
            " %02d : %03d.%03d.%03d.%03d - %02x.%02x.%02x.%02x.%02x.%02x\r\n", 1, 10, 231, 7, 21,
            0x02, 0x5a, 0xe1, 0x40, 0x00, 0x01));
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        std::filesystem::remove(path);
}
BENCHMARK(BM_LogAppend)->Threads(1)->Threads(8)->UseRealTime();

} // namespace
