#pragma once
#include "core/FrontEnd.h"
#include "core/MessageBoxes.h"
#include "core/ProgressPasses.h"
#include "core/RunState.h"
#include "core/UnitProbes.h"
#include "platform/Clock.h"
#include "platform/NetAddress.h"
#include "platform/UrlOpener.h"

#include <memory>
#include <string>

namespace zelvo {

struct CompletionServices
{
    RunState& state;
    FrontEnd& front;
    ProgressPasses& passes;
    MessageBoxes& boxes;
    UrlOpener& urls;
    std::shared_ptr<UnitProbes> probes;
    const Clock& clock;
    std::string webToolPath; // appended to "http://<address>"
};

enum class AssignmentForm
{
    SetIp,  // the Set IP button
    Listen, // the start of Search
};

// After the ACK: waits for the unit to come up at its new address and asks for its name
// (attempts only between 31 and 59 s after the start; the phase lasts windowSeconds),
// lists it ("NO NAME" when none came), tells the user the address and opens the unit's
// web page. A unit already listed with the same MAC gets its row updated instead of a
// second one. When the list has no room for another unit (64 units), the unit is not
// listed, and the user is still told the address and gets the web page.
// UI thread; runs progress passes while each name worker works, and joins it.
void CompleteAssignment(const CompletionServices& services, AssignmentForm form, int windowSeconds,
                        Ipv4Address address, const MacAddress& mac);

} // namespace zelvo
