#pragma once
#include "search/SearchJob.h"

namespace zelvo {

// The search's worker thread: echoes the units of the previous search, sends the
// broadcast echo, waits 5 s for the neighbour table to fill, reads it, keeps the unit
// entries and looks up their names (several at once). Everything it finds goes into
// the job's table through SearchJob::Publish; diagnostics go to the log only.
//
// It looks at job.stopRequested between its steps (between echoes, every 100 ms of the
// wait, between lookups) and then ends at once without further log lines. It sets
// job.done as its last action. Runs on its own thread; never throws.
void SearchWorker(SearchJob& job);

} // namespace zelvo
