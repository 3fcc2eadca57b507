#include "Front/MainApp.h"

using namespace Meridian;

void MainApp::Update() {}

bool MainApp::IsDone() { return GetTime() >= Fixed::One; }
