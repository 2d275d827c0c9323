#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace zelvo {

// Reads at most maxBytes of a file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes);

// The running executable's path (/proc/self/exe), or an empty text.
std::string ModulePath();

// The process's working folder, or an empty text when it cannot be told.
std::string CurrentDirectory();

// Creates (or truncates) a file to zero length; false when that fails or when path
// names a symbolic link.
bool CreateEmptyFile(const std::string& path);

} // namespace zelvo
