#pragma once

namespace zelvo {

struct WorkerJob;

// Kinds of RunProgressPass.
enum ProgressKind
{
    kProgressConfigDownload = 0,
    kProgressConfigUpload = 1,
    kProgressSearch = 2,
    kProgressSearchAgain = 3,
    kProgressFirmwareUpload = 4,
};

// The progress passes that the long operations run on the UI thread while a worker
// works. A pass shows a fresh progress popup, advances it while it keeps the UI
// responsive, and closes it; it lasts about a second. The window implementation lives
// in ProgressWindow; tests substitute a fake that only counts passes.
// UI thread only. secondsLeft is the caller's remaining budget (informational).
class ProgressPasses
{
public:
    virtual ~ProgressPasses() = default;
    virtual void RunProgressPass(int secondsLeft, int kind) = 0;
    virtual void RunTimedPass(int secondsLeft, int phase) = 0;
    virtual void RunSearchPass(int secondsLeft, int ignored) = 0;
    virtual void RunRetrievePass(int secondsLeft) = 0;

    // The worker the passes are waiting for, or null between waits. A front end that
    // need not keep whole one-second passes (the command line) ends a pass as soon as
    // this worker is done; the window keeps its passes whole and ignores it.
    virtual void Follow(const WorkerJob* job) { (void)job; }
};

// Has the passes follow one worker for as long as it lives.
class FollowedWorker
{
public:
    FollowedWorker(ProgressPasses& passes, const WorkerJob& job) : m_passes(passes)
    {
        m_passes.Follow(&job);
    }
    ~FollowedWorker() { m_passes.Follow(nullptr); }
    FollowedWorker(const FollowedWorker&) = delete;
    FollowedWorker& operator=(const FollowedWorker&) = delete;

private:
    ProgressPasses& m_passes;
};

} // namespace zelvo
