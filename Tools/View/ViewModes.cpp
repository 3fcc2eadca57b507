// The view modes skyrail-view knows, in the order its usage lists them.
#include "ViewScene.h"

namespace View {

const Mode Modes[] = {
    {"model", "<file.msd> <out.png> [--yaw DEG] [--pitch DEG] [--lit]", 1, BuildModel},
    {"picture", "<file.png> <out.png> [--rect u0,v0,u1,v1] [--size w,h] [--nearest]", 1, BuildPicture},
    {"font", "<font.png> <font.gly> <out.png> [--text T] [--small]", 2, BuildFont},
    {"gui", "<root folder holding Data/> <out.png> [--screen menu|songs|scores|loading|hud] [--energy N]", 1,
     BuildGui},
    {"course", "<song.ogg> <out.png> [--view chase|above|side] [--time T] [--span S] [--root DIR]", 1, BuildCourse},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace View
