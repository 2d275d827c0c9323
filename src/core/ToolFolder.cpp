#include "core/ToolFolder.h"

#include "core/ExePath.h"
#include "platform/FolderAccess.h"

namespace zelvo {
namespace {

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

struct RunFolders
{
    ToolFolders folders;
    bool set = false;
};

RunFolders& Run()
{
    static RunFolders run;
    return run;
}

} // namespace

std::string PerUserFolder(const std::string& xdgDataHome, const std::string& home)
{
    // XDG base directory rules say a relative XDG_DATA_HOME is to be ignored.
    if (!xdgDataHome.empty() && xdgDataHome[0] == '/')
        return WithSlash(xdgDataHome) + "zelvo-setup/";
    if (!home.empty())
        return WithSlash(home) + ".local/share/zelvo-setup/";
    return {};
}

ToolFolders ChooseToolFolders(const ToolFolderFacts& facts)
{
    const std::string exeFolder = WithSlash(facts.exeFolder);
    if (facts.exeFolderWritable || facts.perUserFolder.empty() || !facts.perUserFolderUsable)
        return {exeFolder + "manager.ini", exeFolder};
    const std::string user = WithSlash(facts.perUserFolder);
    return {(facts.perUserIniExists ? user : exeFolder) + "manager.ini", user};
}

ToolFolders ResolveToolFolders(const std::string& exeFolder)
{
    ToolFolderFacts facts;
    facts.exeFolder = exeFolder;
    facts.exeFolderWritable = IsWritableFolder(exeFolder);
    if (!facts.exeFolderWritable) {
        facts.perUserFolder = PerUserFolder(EnvironmentValue("XDG_DATA_HOME"), HomeFolder());
        facts.perUserFolderUsable =
            !facts.perUserFolder.empty() &&
            MakeFolders(facts.perUserFolder.substr(0, facts.perUserFolder.size() - 1));
        facts.perUserIniExists =
            facts.perUserFolderUsable && PathExists(facts.perUserFolder + "manager.ini");
    }
    return ChooseToolFolders(facts);
}

const ToolFolders& RunToolFolders()
{
    RunFolders& run = Run();
    if (!run.set) {
        run.folders = {PathBesideExecutable("manager.ini"), ExeDirectory()};
        run.set = true;
    }
    return run.folders;
}

void SetRunToolFolders(const ToolFolders& folders)
{
    Run().folders = folders;
    Run().set = true;
}

} // namespace zelvo
