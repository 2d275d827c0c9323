#pragma once

namespace zelvo {

// Texts that every front end shows around the unit list, UTF-8.

// Column headers 0 to 3: computer name, MAC address, IP address, type; nullptr outside.
const char* ColumnHeader(int column, bool japanese);

// The tool's title in the language of the run; progress displays use it as their caption.
const char* TitleText(bool japanese);

} // namespace zelvo
