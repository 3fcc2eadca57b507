#include "Input/Input.h"

namespace Meridian {

const char* Input::GetGenericButtonName(U32 button) {
    static const char* const names[ButtonCount] = {
        "DPadLeft", "DPadRight",    "DPadUp", "DPadDown", "DPadA",  "DPadB",    "DPadX",     "DPadY",
        "LeftTrigger", "RightTrigger", "Start", "Select", "System", "VolumeUp", "VolumeDown",
    };
    for (I32 bit = 0; bit < ButtonCount; ++bit)
        if (button == (1u << bit)) return names[bit];
    return "";
}

U32 Input::FindGenericButton(const std::string& name) {
    for (I32 bit = 0; bit < ButtonCount; ++bit)
        if (name == GetGenericButtonName(1u << bit)) return 1u << bit;
    return 0;
}

}  // namespace Meridian
