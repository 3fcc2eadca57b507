#include "Analysis/MusicDecoder.h"

#include <cctype>

#include "Analysis/MusicDecoderOGG.h"
#include "Core/Log.h"

using namespace Meridian;

std::string FileExtension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return path.substr(dot);
}

static bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

bool IsSongPath(const std::string& path) { return EqualsIgnoringCase(FileExtension(path), ".ogg"); }

MusicDecoder* CreateDecoder(const std::string& path) {
    std::string extension = FileExtension(path);
    if (EqualsIgnoringCase(extension, ".ogg")) return New<MusicDecoderOGG>();
    LogE() << "Could not create decoder for file type " << extension;
    return nullptr;
}
