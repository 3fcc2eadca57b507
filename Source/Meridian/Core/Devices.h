// Device choice: which render device, input device and audio player the
// application creates in App::Init. The platform layer installs a factory
// (windowed, handheld or headless); tests install their own. Each function
// returns a new device with count 0, or null when it cannot make one.
#pragma once

namespace Meridian {

class AudioPlayer;
class Input;
class Render;

struct DeviceFactory {
    Render* (*createRender)();
    Input* (*createInput)();
    AudioPlayer* (*createAudio)();
};

void SetDeviceFactory(const DeviceFactory& factory);
const DeviceFactory& GetDeviceFactory();
// Devices that need no hardware at all (no drawing, no controls, no sound).
DeviceFactory NullDeviceFactory();

}  // namespace Meridian
