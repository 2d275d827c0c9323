#pragma once
#include "core/WorkerJob.h"
#include "platform/DhcpServerSocket.h"

#include <cstddef>
#include <cstdint>

namespace zelvo {

// The record of one ReceiveWorker: one datagram from the DHCP responder's socket.
// Owned jointly by the responder and the worker (std::shared_ptr). The socket must
// outlive the worker: the responder joins the worker before it closes the socket.
// The worker writes the out fields, then done; the responder reads them after done.
// To end a worker that still waits, the responder sets stopRequested: the worker then
// stores length -1 and sets done within about 50 ms.
struct ReceiveJob : WorkerJob
{
    static constexpr std::size_t kBufferSize = 1536;

    explicit ReceiveJob(DhcpServerSocket& socket) : socket(socket) {}

    DhcpServerSocket& socket;
    uint8_t buffer[kBufferSize] = {};
    int length = 0;         // out: bytes received, or -1 (failed, too long, stopped)
    bool tooLong = false;   // out: a datagram came that did not fit the buffer
    int interfaceIndex = 0; // out: the receiving interface
    bool quiet = false;     // in: write no log lines (the caller counts a flood instead)
};

// Waits for one datagram, logging its start, the receive's value and its end unless quiet.
// A datagram longer than the buffer counts as a failed receive. A worker ended by
// stopRequested while it waits logs only its start. Runs on a worker thread.
void ReceiveWorker(ReceiveJob& job);

} // namespace zelvo
