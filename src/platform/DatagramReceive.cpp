#include "platform/DatagramReceive.h"

#include "platform/WaitReadable.h"

#include <cerrno>

namespace zelvo {

DatagramReceipt ReceiveDatagram(int fd, std::span<uint8_t> buffer, const std::atomic<bool>* stop)
{
    while (true) {
        int error = 0;
        const IoStatus ready = WaitReadable(fd, {SystemClock(), kNoDeadline, stop}, error);
        if (ready != IoStatus::Ok) {
            DatagramReceipt receipt;
            receipt.status = ready;
            receipt.error = error;
            return receipt;
        }
        DatagramReceipt receipt = ReceiveWaiting(fd, buffer);
        if (receipt.status == IoStatus::Failed && receipt.error == EAGAIN)
            continue; // another reader of the socket took it
        return receipt;
    }
}

} // namespace zelvo
