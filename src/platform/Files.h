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

// Creates (or truncates) a file to zero length; false when that fails, when path names a
// symbolic link, or when it names something else than a regular file (a FIFO, a device),
// which is left as it is.
bool CreateEmptyFile(const std::string& path);

// Opens an existing regular file for appending (O_APPEND, close-on-exec) and returns its
// descriptor; -1 when it is missing, a symbolic link or not a regular file. Never waits:
// a FIFO without a reader or a device is refused at once.
int OpenRegularFileToAppend(const std::string& path);

} // namespace zelvo
