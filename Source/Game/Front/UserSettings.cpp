#include "Front/UserSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Core/Log.h"
#include "Core/RegularFile.h"
#include "Input/Input.h"

using namespace Meridian;

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A whole decimal number within lo .. hi.
bool ParseInt(const std::string& text, I32 lo, I32 hi, I32* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || value < lo || value > hi) return false;
    *out = static_cast<I32>(value);
    return true;
}

bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return false;
    return true;
}

}  // namespace

std::string UserSettings::DefaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/skyrail/settings.ini";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.config/skyrail/settings.ini";
    return std::string();
}

std::string UserSettings::DefaultMusicFolder() {
    struct stat info;
    auto isFolder = [&](const std::string& path) { return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode); };
    if (isFolder("./Music")) return "./Music/";
    const char* homeVariable = std::getenv("HOME");
    const std::string home = homeVariable ? homeVariable : "";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string dirs = (config && config[0] == '/' ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::string music = home.empty() ? std::string() : home + "/Music";
    if (FILE* file = OpenRegularFile(dirs)) {
        // Lines such as XDG_MUSIC_DIR="$HOME/Music".
        char line[1024];
        while (std::fgets(line, sizeof line, file)) {
            std::string text = line;
            text = Trim(text.substr(0, text.find('\n')));
            const std::string key = "XDG_MUSIC_DIR=\"";
            if (text.size() <= key.size() || text.compare(0, key.size(), key) != 0 || text.back() != '"') continue;
            std::string value = text.substr(key.size(), text.size() - key.size() - 1);
            if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
            if (!value.empty() && value[0] == '/') music = value;
        }
        std::fclose(file);
    }
    return !music.empty() && isFolder(music) ? music + "/" : "./Music/";
}

bool UserSettings::Load(const std::string& path) {
    *this = UserSettings();
    std::string why;
    FILE* file = OpenRegularFile(path, &why);
    if (!file) {
        if (errno != ENOENT)
            LogW() << "UserSettings::Load: cannot read " << path << " (" << why << "), using the defaults.";
        return false;
    }
    UserSettings read;
    std::string section, line, problem;
    I32 number = 0;
    for (int c = 0, row = 1; problem.empty() && c != EOF; ++row) {
        line.clear();
        while ((c = std::fgetc(file)) != EOF && c != '\n') line += static_cast<char>(c);
        line = Trim(line.substr(0, line.find_first_of("#;")));
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        const std::string key = Trim(line.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
        } else if (equals == std::string::npos || key.empty()) {
            problem = "line " + std::to_string(row) + " is not \"key = value\"";
        } else if (section == "Audio" && key == "volume") {
            if (!ParseInt(value, 0, 128, &read.volume)) problem = "volume must be 0 to 128";
        } else if (section == "Audio" && key == "buffer") {
            if (!ParseInt(value, 256, 8192, &read.buffer)) problem = "buffer must be 256 to 8192";
        } else if (section == "Audio" && key == "offset") {
            if (!ParseInt(value, -1000, 1000, &read.offset)) problem = "offset must be -1000 to 1000";
        } else if (section == "Video" && key == "scale") {
            if (!ParseInt(value, 1, 16, &read.scale)) problem = "scale must be 1 to 16";
        } else if (section == "Video" && key == "fullscreen") {
            if (!ParseInt(value, 0, 1, &number)) problem = "fullscreen must be 0 or 1";
            read.fullscreen = number;
        } else if (section == "Video" && key == "smooth") {
            if (!ParseInt(value, 0, 1, &number)) problem = "smooth must be 0 or 1";
            read.smooth = number;
        } else if (section == "Video" && key == "fps") {
            if (!ParseInt(value, 0, 500, &read.fps) || (read.fps > 0 && read.fps < 10))
                problem = "fps must be 0 or 10 to 500";
        } else if (section == "Music" && key == "folder") {
            read.music = value;
        } else if (section == "Keys") {
            if (!Input::FindGenericButton(key) || value.empty()) problem = "\"" + key + "\" is not a button with a key";
            read.keys.emplace_back(key, value);
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) problem = "read error";
    if (!problem.empty()) {
        LogW() << "UserSettings::Load: " << path << " is damaged (" << problem << "), using the defaults.";
        return false;
    }
    *this = read;
    return true;
}

bool UserSettings::Save(const std::string& path) const {
    std::string text = "# SkyRail's settings, written by the game when one changes.\n";
    if (volume >= 0 || buffer > 0 || offset != 0) text += "[Audio]\n";
    if (volume >= 0) text += "volume = " + std::to_string(volume) + "\n";
    if (buffer > 0) text += "buffer = " + std::to_string(buffer) + "\n";
    if (offset != 0) text += "offset = " + std::to_string(offset) + "\n";
    if (scale > 0 || fullscreen >= 0 || smooth >= 0 || fps >= 0) text += "[Video]\n";
    if (scale > 0) text += "scale = " + std::to_string(scale) + "\n";
    if (fullscreen >= 0) text += "fullscreen = " + std::to_string(fullscreen) + "\n";
    if (smooth >= 0) text += "smooth = " + std::to_string(smooth) + "\n";
    if (fps >= 0) text += "fps = " + std::to_string(fps) + "\n";
    if (!music.empty()) text += "[Music]\nfolder = " + music + "\n";
    if (!keys.empty()) text += "[Keys]\n";
    for (const auto& binding : keys) text += binding.first + " = " + binding.second + "\n";

    const std::string temporary = path + ".tmp";
    const int fd = MakeFolders(path) ? open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    if (fd >= 0) ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        LogE() << "UserSettings::Save: cannot write " << path << " (" << std::strerror(errno) << ").";
        std::remove(temporary.c_str());
    }
    return ok;
}
