#include "core/OperationFrame.h"

namespace zelvo {

ButtonRuleInput ButtonRuleInputOf(const RunState& state, bool setIpOffered)
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
    CommandButtons start;
    start.setIp = false;
    start.enableSetIpBox = false;
    m_front.ShowButtons(start);
    m_state.m_bBusy = 1;
}

void OperationFrame::End(RefreshVariant variant, bool setIpOffered)
{
    m_front.ShowButtons(RefreshCommandButtons(variant, ButtonRuleInputOf(m_state, setIpOffered)));
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
