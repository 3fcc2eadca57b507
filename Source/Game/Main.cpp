// SkyRail's entry point: the log on standard error, the system layer, one
// MainApp through the engine allocator and the frame loop.
#include "Core/App.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Front/MainApp.h"

using namespace Meridian;

int main(int argc, char** argv) {
    Log::Open(">console");
    LogD() << "main {";
    System::Init();
    RunApplication(New<MainApp>(), argc, argv);
    System::Exit();
    LogD() << "};";
    Log::Close();
    return 0;
}
