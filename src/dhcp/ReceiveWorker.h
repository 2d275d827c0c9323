#pragma once
#include "core/WorkerJob.h"
#include "platform/DhcpServerSocket.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace zelvo {

// The record of the DHCP responder's one receive worker for a run: one datagram at a
// time from the responder's socket. Owned jointly by the responder and the worker
// (std::shared_ptr). The socket must outlive the worker: the responder joins the worker
// before it closes the socket.
//
// The worker receives one datagram, writes the out fields and marks the job done; it
// receives the next only when the responder, done with the fields, calls Next(). Stop()
// ends the worker: one that waits for a datagram stores length -1 within about 50 ms.
struct ReceiveJob : WorkerJob
{
    static constexpr std::size_t kBufferSize = 1536;

    explicit ReceiveJob(DhcpServerSocket& socket) : socket(socket) {}

    // Clears done and has the worker receive the next datagram; quiet: without log lines.
    void Next(bool quiet);
    // Asks the worker to end, whether it waits for a datagram or for Next().
    void Stop();

    DhcpServerSocket& socket;
    uint8_t buffer[kBufferSize] = {};
    int length = 0;         // out: bytes received, or -1 (failed, too long, stopped)
    bool tooLong = false;   // out: a datagram came that did not fit the buffer
    int interfaceIndex = 0; // out: the receiving interface
    bool quiet = false;     // in: write no log lines (the caller counts a flood instead)

private:
    friend void ReceiveWorker(ReceiveJob& job);
    // Waits until Next() or Stop(); true for Next().
    bool WaitForNext();
    std::mutex m_nextMutex;
    std::condition_variable m_nextChanged;
    bool m_nextWanted = true; // the first datagram is asked for when the worker starts
};

// The receive loop of one run: for the first datagram and after each Next(), waits for
// one datagram, logging its start, the receive's value and its end unless quiet. A
// datagram longer than the buffer counts as a failed receive. A receive ended by Stop()
// logs only its start, and the worker ends. Runs on the run's receive thread.
void ReceiveWorker(ReceiveJob& job);

} // namespace zelvo
