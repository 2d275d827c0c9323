#include "platform/DatagramReceive.h"

#include "platform/WaitReadable.h"

#include <cerrno>

namespace zelvo {

Outcome<DatagramReceipt> ReceiveDatagram(int fd, std::span<uint8_t> buffer,
                                         const std::atomic<bool>* stop)
{
    while (true) {
        const Outcome<WaitEnd> ready = WaitReadable(fd, {SystemClock(), kNoDeadline, stop});
        if (!IsReady(ready))
            return NothingReceived(ready);
        Outcome<DatagramReceipt> receipt = ReceiveWaiting(fd, buffer);
        if (receipt.Code() == EAGAIN)
            continue; // another reader of the socket took it
        return receipt;
    }
}

} // namespace zelvo
