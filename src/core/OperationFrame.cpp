#include "core/OperationFrame.h"

namespace zelvo {

ButtonRuleInput ButtonRuleInputOf(const DialogState& state, bool setIpOffered)
{
    ButtonRuleInput in;
    in.UnitsFound = state.UnitsFound;
    in.DhcpServerPresent = state.host.DhcpServerPresent;
    in.NetInfoAvailable = state.host.NetInfoAvailable;
    in.NoHostMac = state.NoHostMac;
    in.UnitCount = state.devices.UnitCount;
    in.setIpOffered = setIpOffered;
    return in;
}

void OperationFrame::Begin()
{
    m_controls.EnableControl(kIdSetIp, false);
    m_controls.EnableControl(kIdEnableSetIp, false);
    m_state.m_bBusy = 1;
}

void OperationFrame::End(RefreshVariant variant, bool setIpOffered)
{
    ApplyControlStates(m_controls,
                       RefreshCommandButtons(variant, ButtonRuleInputOf(m_state, setIpOffered)));
    m_state.m_bBusy = 0;
}

OperationScope::OperationScope(OperationFrame frame, RefreshVariant variant)
    : m_frame(frame), m_variant(variant)
{
    m_frame.Begin();
}

OperationScope::~OperationScope()
{
    if (!m_ended)
        m_frame.End(m_variant);
}

void OperationScope::End(bool setIpOffered)
{
    m_ended = true;
    m_frame.End(m_variant, setIpOffered);
}

void OperationScope::EndWithoutRefresh()
{
    m_ended = true;
    m_frame.EndWithoutRefresh();
}

} // namespace zelvo
