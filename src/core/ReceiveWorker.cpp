#include "core/ReceiveWorker.h"

#include "core/LogWriter.h"

namespace zelvo {

void ReceiveWorker(ReceiveJob& job)
{
    if (!job.quiet)
        LogWriter::Append(" >>> Start receive from\r\n");
    int length = -1;
    const DatagramReceipt receipt = job.socket.Receive(job.buffer, &job.stopRequested);
    if (receipt.status == IoStatus::Stopped) {
        // Ended while it waited (the window ran out): it never got to the receive's
        // value nor to its end, and says neither.
        job.length = -1;
        job.done.store(true, std::memory_order_release);
        return;
    }
    if (receipt.status == IoStatus::Ok && !receipt.truncated) {
        length = static_cast<int>(receipt.length);
        job.interfaceIndex = receipt.interfaceIndex;
    }
    job.tooLong = receipt.status == IoStatus::Ok && receipt.truncated;
    if (!job.quiet)
        LogWriter::Appendf("  recvfrom=%d\r\n", length);
    job.length = length;
    job.done.store(true, std::memory_order_release);
    if (!job.quiet)
        LogWriter::Append(" <<< Close receive from\r\n");
}

} // namespace zelvo
