#pragma once
#include <string>
#include <string_view>

namespace zelvo {

// The path of a file that lives beside the executable (manager.ini, manager.log):
// the module path is cut at the first occurrence of the executable's own file name
// and fileName takes its place. When the executable's name also names a directory
// higher up, the path is cut there, at its first occurrence.
std::string DeriveSiblingPath(std::string_view modulePath, std::string_view fileName);

// The directory that holds the running executable, ending in '/'.
std::string ExeDirectory();

// DeriveSiblingPath for the running executable.
std::string PathBesideExecutable(std::string_view fileName);

// The executable's file name without its extension: the caption of message boxes.
std::string ExecutableTitle();

} // namespace zelvo
