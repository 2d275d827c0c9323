#include "dhcp/ReceiveWorker.h"

#include "core/LogWriter.h"

namespace zelvo {

void ReceiveJob::Next(bool quietNext)
{
    {
        const std::lock_guard<std::mutex> lock(m_nextMutex);
        quiet = quietNext;
        length = 0;
        tooLong = false;
        interfaceIndex = 0;
        done.store(false, std::memory_order_release);
        m_nextWanted = true;
    }
    m_nextChanged.notify_one();
}

void ReceiveJob::Stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_nextMutex);
        stopRequested.store(true, std::memory_order_release);
    }
    m_nextChanged.notify_one();
}

bool ReceiveJob::WaitForNext()
{
    std::unique_lock<std::mutex> lock(m_nextMutex);
    m_nextChanged.wait(
        lock, [this] { return m_nextWanted || stopRequested.load(std::memory_order_acquire); });
    m_nextWanted = false;
    return !stopRequested.load(std::memory_order_acquire);
}

void ReceiveWorker(ReceiveJob& job)
{
    while (job.WaitForNext()) {
        if (!job.quiet)
            LogWriter::Append(" >>> Start receive from\r\n");
        int length = -1;
        const Outcome<DatagramReceipt> got = job.socket.Receive(job.buffer, &job.stopRequested);
        if (got.Ok() && got.Value().end == WaitEnd::Stopped) {
            // Ended while it waited (the window ran out): it never got to the receive's
            // value nor to its end, and says neither.
            job.length = -1;
            job.MarkDone();
            return;
        }
        const bool received = got.Ok() && got.Value().end == WaitEnd::Ready;
        if (received && !got.Value().truncated) {
            length = static_cast<int>(got.Value().length);
            job.interfaceIndex = got.Value().interfaceIndex;
        }
        job.tooLong = received && got.Value().truncated;
        if (!job.quiet) {
            LogWriter::Appendf("  recvfrom=%d\r\n", length);
            LogWriter::Append(" <<< Close receive from\r\n");
        }
        job.length = length;
        job.MarkDone();
    }
}

} // namespace zelvo
