// An input device without controls: no buttons are ever down. Used where no
// player is present and nothing scripted is wanted.
#pragma once

#include "Input/Input.h"

namespace Meridian {

class InputNull : public Input {
    MERIDIAN_CLASS(InputNull, Input)

    bool Init() override { return true; }
    void Update() override {}
    void Exit() override {}
    U32 GetButtons() override { return 0; }
};

}  // namespace Meridian
