#pragma once
#include "core/CommandButtonRules.h"
#include "core/DialogControls.h"
#include "core/DialogState.h"

namespace zelvo {

// The rule's input as the window's state holds it. "No MAC" is the NoHostMac flag that
// the initialisation set, not a fresh look at the MAC: after a failed network browse
// check the flag stays 0 whatever the MAC, and every end of an operation must agree.
ButtonRuleInput ButtonRuleInputOf(const DialogState& state, bool setIpOffered = false);

// The start and the end of every long operation (search, temporary address, back up,
// restore, firmware upload), built in one place so that each command's every path leaves
// the buttons the same way. A frame holds no state of its own: a command makes one over
// the window's state and controls whenever it needs it.
// UI thread only, like the state and the controls it works on.
class OperationFrame
{
public:
    OperationFrame(DialogState& state, DialogControls& controls)
        : m_state(state), m_controls(controls)
    {
    }

    // An operation runs: commands other than Exit's guard turn themselves away.
    bool Busy() const { return m_state.m_bBusy != 0; }

    // Start: Set IP and the Enable Set IP box off, busy on.
    void Begin();
    // End: the variant's enabling rule applied to the controls, then busy off.
    // setIpOffered matters to the search variant only.
    void End(RefreshVariant variant, bool setIpOffered = false);
    // An end that leaves the controls as they are (a run that could not even start its
    // network work): busy off only.
    void EndWithoutRefresh() { m_state.m_bBusy = 0; }
    // Busy on again without touching the controls: Search runs its own search after the
    // temporary-address run, which cleared busy when it ended.
    void ResumeBusy() { m_state.m_bBusy = 1; }

private:
    DialogState& m_state;
    DialogControls& m_controls;
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
    // Ends now without touching the controls.
    void EndWithoutRefresh();

private:
    OperationFrame m_frame;
    RefreshVariant m_variant;
    bool m_ended = false;
};

} // namespace zelvo
