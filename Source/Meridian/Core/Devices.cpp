#include "Core/Devices.h"

#include "Audio/AudioPlayerNull.h"
#include "Input/InputNull.h"
#include "Render/RenderNull.h"

namespace Meridian {

namespace {

Render* CreateNullRender() { return New<RenderNull>(); }
Input* CreateNullInput() { return New<InputNull>(); }
AudioPlayer* CreateNullAudio() { return New<AudioPlayerNull>(); }

DeviceFactory g_Factory = NullDeviceFactory();

}  // namespace

DeviceFactory NullDeviceFactory() { return DeviceFactory{&CreateNullRender, &CreateNullInput, &CreateNullAudio}; }

void SetDeviceFactory(const DeviceFactory& factory) { g_Factory = factory; }

const DeviceFactory& GetDeviceFactory() { return g_Factory; }

}  // namespace Meridian
