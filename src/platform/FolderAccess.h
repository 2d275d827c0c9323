#pragma once
#include <string>

namespace zelvo {

// True when this process may create files in folder.
bool IsWritableFolder(const std::string& folder);
// True when path names an existing file (any type).
bool PathExists(const std::string& path);
// Creates folder and its missing parents with mode 0700; true when it exists after.
bool MakeFolders(const std::string& folder);
// An environment variable, empty when unset.
std::string EnvironmentValue(const char* name);
// The home folder: $HOME, else the password database's entry of this user.
std::string HomeFolder();

} // namespace zelvo
