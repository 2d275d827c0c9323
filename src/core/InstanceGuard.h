#pragma once

namespace zelvo {

// The name of the guard that keeps one instance of the tool at a time, whichever front
// end (window or command line) runs: both write the same manager.log and may want the
// same DHCP port. The lock file is named after it.
inline constexpr const char* kInstanceGuardName = "PreventSecondInstanceForQuorvane";

} // namespace zelvo
