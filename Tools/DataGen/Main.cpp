// skyrail-datagen: writes the game's data files.
//
//     skyrail-datagen <outdir> [--oggenc PATH] [--no-song]
//
// Under <outdir>: Data/SkyRail/ (textures, models, config.ini), Data/Fonts/
// (two bitmap fonts), Data/Icons/ (the desktop icon in five sizes) and
// "Music/SkyRail Demo.ogg". The song and the click track (both left out by
// --no-song) are encoded by
// skyrail-oggenc, taken from --oggenc or from the folder of this program.
// The output is the same, byte for byte, on every run. Exit status 0 on
// success, 1 when a file could not be made, 2 on wrong arguments.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "DataGen.h"

namespace {

bool MakeDirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        const std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "skyrail-datagen: cannot create folder %s\n", part.c_str());
            return false;
        }
    }
    return true;
}

std::string SelfDir() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, encoder;
    bool song = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--oggenc") && i + 1 < argc)
            encoder = argv[++i];
        else if (!std::strcmp(argv[i], "--no-song"))
            song = false;
        else if (out.empty() && argv[i][0] != '-')
            out = argv[i];
        else
            out.clear(), i = argc;
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: skyrail-datagen <outdir> [--oggenc PATH] [--no-song]\n");
        return 2;
    }
    if (encoder.empty()) encoder = SelfDir() + "/skyrail-oggenc";
    // A dying encoder must give an error, not kill the generator.
    std::signal(SIGPIPE, SIG_IGN);

    const std::string game = out + "/Data/SkyRail/", fonts = out + "/Data/Fonts/", music = out + "/Music/";
    const std::string icons = out + "/Data/Icons/";
    if (!MakeDirs(game) || !MakeDirs(fonts) || !MakeDirs(music) || !MakeDirs(icons)) return 1;
    using namespace DataGen;
    const bool ok = WriteTrackTexture(game) && WriteCapsuleTexture(game) && WriteCapsuleModel(game) &&
                    WriteMineTexture(game) && WriteMineModel(game) && WriteGliderTexture(game) &&
                    WriteGliderModel(game) && WriteGliderShadow(game) && WriteStars(game) && WritePixel(game) &&
                    WritePattern(game) && WriteLoading(game) && WriteGuiAtlas(game) && WriteConfig(game) &&
                    WriteFonts(fonts) && WriteIcons(icons) &&
                    (!song || (WriteDemoSong(music + "SkyRail Demo.ogg", encoder) &&
                               WriteClickTrack(game + "click01.ogg", encoder)));
    return ok ? 0 : 1;
}
