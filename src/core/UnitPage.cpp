#include "core/UnitPage.h"

#include <cstdio>

namespace zelvo {

std::string UnitPageUrl(const char* ipText, const char* path)
{
    char url[260];
    std::snprintf(url, sizeof url, "http://%s%s", ipText ? ipText : "", path ? path : "");
    return url;
}

} // namespace zelvo
