#include "Analysis/SongFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace SongFiles {

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The song's absolute path: its folder resolved, its own name kept.
std::string Absolute(const std::string& song) {
    const size_t slash = song.rfind('/');
    const std::string name = slash == std::string::npos ? song : song.substr(slash + 1);
    char buffer[PATH_MAX];
    if (realpath(FolderOf(song).c_str(), buffer)) {
        const std::string folder = buffer;
        return (folder == "/" ? "" : folder) + "/" + name;
    }
    if (!song.empty() && song[0] == '/') return song;
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) + "/" + song : "/" + song;
}

}  // namespace

std::string DataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/skyrail";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/share/skyrail";
    return std::string();
}

std::string BesidePath(const std::string& song, const std::string& suffix) { return song + suffix; }

std::string DataPath(const std::string& song, const std::string& suffix) {
    return DataFolder() + Absolute(song) + suffix;
}

bool SongFolderWritable(const std::string& song) { return access(FolderOf(song).c_str(), W_OK) == 0; }

std::string WritePath(const std::string& song, const std::string& suffix) {
    if (SongFolderWritable(song) || DataFolder().empty()) return BesidePath(song, suffix);
    return DataPath(song, suffix);
}

std::string ReadPath(const std::string& song, const std::string& suffix) {
    const std::string written = WritePath(song, suffix);
    if (Exists(written)) return written;
    const std::string beside = BesidePath(song, suffix);
    const std::string other = written == beside ? DataPath(song, suffix) : beside;
    return !DataFolder().empty() && Exists(other) ? other : written;
}

bool MakeParentFolders(const std::string& path) {
    const std::string folder = FolderOf(path);
    struct stat info;
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (folder == path || !MakeParentFolders(folder)) return false;
    return mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

}  // namespace SongFiles
