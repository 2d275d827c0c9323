#pragma once
#include <string>
#include <string_view>

namespace zelvo {

// The path of a file that lives beside the executable (manager.ini, manager.log): the
// module path's last element (the executable's own name) is replaced by fileName. Only
// the last element is the name: a folder above it may carry the same name or a longer
// one ("ZelvoSetup-1.0/ZelvoSetup"), and a symbolic link has already been resolved by
// the kernel in /proc/self/exe.
std::string DeriveSiblingPath(std::string_view modulePath, std::string_view fileName);

// The directory that holds the running executable, ending in '/'.
std::string ExeDirectory();

// DeriveSiblingPath for the running executable.
std::string PathBesideExecutable(std::string_view fileName);

// The executable's file name without its extension: the caption of message boxes.
std::string ExecutableTitle();

} // namespace zelvo
