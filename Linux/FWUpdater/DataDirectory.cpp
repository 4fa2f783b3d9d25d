#include "FWUpdater/DataDirectory.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

bool HasScenarios(const std::string& directory_I)
{
    struct stat info {};
    return !directory_I.empty() && stat((directory_I + "/scenarios").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExecutableDirectory()
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return std::string();
    return DirectoryOf(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

} // namespace

std::string DirectoryOf(const std::string& path_I)
{
    const std::size_t slash = path_I.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path_I.substr(0, slash);
}

std::string FindDataDirectory()
{
    if (const char* fromEnvironment = std::getenv("VFWU_DATA_DIR"); fromEnvironment != nullptr && *fromEnvironment)
        return HasScenarios(fromEnvironment) ? std::string(fromEnvironment) : std::string();
    const std::string installed = ExecutableDirectory() + "/../share/vellum-fwupdater";
    if (HasScenarios(installed))
        return installed;
#ifdef VFWU_DATA_DIR
    if (HasScenarios(VFWU_DATA_DIR))
        return VFWU_DATA_DIR;
#endif
    return std::string();
}
