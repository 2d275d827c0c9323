#pragma once
#include <string>

namespace zelvo {

// The address of a unit's web page: "http://" + the unit's dotted address + a page
// path of manager.ini, as it stands (an empty path gives the unit's root). A result
// longer than a 260-byte line is cut to 259 bytes.
std::string UnitPageUrl(const char* ipText, const char* path);

} // namespace zelvo
