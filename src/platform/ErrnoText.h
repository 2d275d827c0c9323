#pragma once
#include <string>

namespace zelvo {

// The system's text for an errno value ("Permission denied"), in the process's message
// locale; "Unknown error N" for a value the system has no text for. Thread-safe.
std::string ErrnoText(int error);

} // namespace zelvo
