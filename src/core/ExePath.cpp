#include "core/ExePath.h"

#include "platform/Files.h"

namespace zelvo {

namespace {

std::string_view FileNameOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Everything up to and including the last '/'; empty for a bare name.
std::string_view DirectoryWithSlashOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

} // namespace

std::string DeriveSiblingPath(std::string_view modulePath, std::string_view fileName)
{
    return std::string(DirectoryWithSlashOf(modulePath)) + std::string(fileName);
}

std::string ExeDirectory()
{
    return DeriveSiblingPath(ModulePath(), "");
}

std::string PathBesideExecutable(std::string_view fileName)
{
    return DeriveSiblingPath(ModulePath(), fileName);
}

std::string ExecutableTitle()
{
    std::string name(FileNameOf(ModulePath()));
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name.empty() ? std::string("ZelvoSetup") : name;
}

} // namespace zelvo
