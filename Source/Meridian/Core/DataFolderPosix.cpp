#include "Core/DataFolder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace Meridian {

namespace {

const char* const DefaultFolder = "./Data/";

std::string& Folder() {
    static std::string folder = DefaultFolder;
    return folder;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExecutableFolder() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    const std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void SetDataFolder(const std::string& folder) {
    Folder() = folder.empty() ? DefaultFolder : folder.back() == '/' ? folder : folder + "/";
}

const std::string& GetDataFolder() { return Folder(); }

std::string DataFile(const std::string& relative) { return Folder() + relative; }

std::string FindDataFolder(const std::string& name, const std::string& marker) {
    if (IsFolder(std::string(DefaultFolder) + marker)) return DefaultFolder;
    const std::string self = ExecutableFolder();
    if (!self.empty()) {
        const std::string installed = self + "/../share/" + name + "/Data/";
        if (IsFolder(installed + marker)) return installed;
    }
    return DefaultFolder;
}

}  // namespace Meridian
