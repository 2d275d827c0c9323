#pragma once
#include "core/CommandButtonRules.h"
#include "core/FrontEnd.h"
#include "core/RunState.h"

namespace zelvo {

// The rule's input as the run's state holds it. "No MAC" is the NoHostMac flag that
// the initialisation set, not a fresh look at the MAC: after a failed network browse
// check the flag stays 0 whatever the MAC, and every end of an operation must agree.
ButtonRuleInput ButtonRuleInputOf(const RunState& state, bool setIpOffered = false);

// The start and the end of every long operation (search, temporary address, back up,
// restore, firmware upload), built in one place so that each command's every path leaves
// the buttons the same way. A frame holds no state of its own: a command makes one over
// the run's state and its front end whenever it needs it.
// UI thread only, like the state and the front end it works on.
class OperationFrame
{
public:
    OperationFrame(RunState& state, FrontEnd& front) : m_state(state), m_front(front) {}

    // An operation runs: commands other than Exit's guard turn themselves away.
    bool Busy() const { return m_state.m_bBusy != 0; }

    // Start: Set IP and the Enable Set IP box off, busy on.
    void Begin();
    // End: the buttons as the variant's enabling rule leaves them, then busy off.
    // setIpOffered matters to the search variant only.
    void End(RefreshVariant variant, bool setIpOffered = false);
    // An end that leaves the buttons as they are (a run that could not even start its
    // network work): busy off only.
    void EndWithoutRefresh() { m_state.m_bBusy = 0; }
    // Busy on again without touching the buttons: Search runs its own search after the
    // temporary-address run, which cleared busy when it ended.
    void ResumeBusy() { m_state.m_bBusy = 1; }

private:
    RunState& m_state;
    FrontEnd& m_front;
};

// Ends the frame with its variant when the scope is left on a path that did not end it
// itself, so an early return cannot leave the window busy. Begins the frame when made.
class OperationScope
{
public:
    OperationScope(OperationFrame frame, RefreshVariant variant);
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    OperationFrame& Frame() { return m_frame; }
    // Ends now with the scope's variant (or with setIpOffered for the search variant).
    void End(bool setIpOffered = false);
    // Ends now without touching the buttons.
    void EndWithoutRefresh();

private:
    OperationFrame m_frame;
    RefreshVariant m_variant;
    bool m_ended = false;
};

} // namespace zelvo
