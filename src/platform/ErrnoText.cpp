#include "platform/ErrnoText.h"

#include <cstring>

namespace zelvo {

std::string ErrnoText(int error)
{
    char text[256];
    // The GNU strerror_r returns its text, which may or may not be in our buffer.
    return ::strerror_r(error, text, sizeof text);
}

} // namespace zelvo
