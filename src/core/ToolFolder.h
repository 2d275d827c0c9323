#pragma once
#include <string>

namespace zelvo {

// Where the tool keeps its files. In a build tree or a copy the user owns, everything
// lives beside the executable. An installed tool's folder is not writable by its
// users: its log and configuration backups then go to a per-user folder
// ($XDG_DATA_HOME/zelvo-setup, by default ~/.local/share/zelvo-setup), and manager.ini
// is read from there when the user keeps one, else from beside the executable.
struct ToolFolders
{
    std::string iniPath;    // manager.ini to read
    std::string dataFolder; // manager.log and backups; ends in '/'
};

struct ToolFolderFacts
{
    std::string exeFolder; // ends in '/'
    bool exeFolderWritable = true;
    std::string perUserFolder;        // PerUserFolder(); ends in '/'; empty when unknown
    bool perUserFolderUsable = false; // exists or could be made
    bool perUserIniExists = false;
};

// $XDG_DATA_HOME/zelvo-setup/ when that is an absolute path, else
// <home>/.local/share/zelvo-setup/; empty without either.
std::string PerUserFolder(const std::string& xdgDataHome, const std::string& home);

ToolFolders ChooseToolFolders(const ToolFolderFacts& facts);

// Looks at this system (creating the per-user folder when it is needed) and decides.
ToolFolders ResolveToolFolders(const std::string& exeFolder);

// The folders of the run, set once by the start-up survey (before any worker starts);
// until then the executable's folder. UI thread.
const ToolFolders& RunToolFolders();
void SetRunToolFolders(const ToolFolders& folders);

} // namespace zelvo
