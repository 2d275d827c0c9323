#include "cli/CliControls.h"

namespace zelvo {

bool CliControls::IsControlEnabled(int id) const
{
    const auto it = m_enabled.find(id);
    return it != m_enabled.end() && it->second;
}

bool CliControls::IsChecked(int id) const
{
    const auto it = m_checked.find(id);
    return it != m_checked.end() && it->second;
}

} // namespace zelvo
