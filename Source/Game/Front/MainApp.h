// The game's application. For now it runs the frame loop for about one second
// of application time and quits.
#pragma once

#include "Core/App.h"

class MainApp : public Meridian::App {
    MERIDIAN_CLASS(MainApp, Meridian::App)

    void Update() override;
    bool IsDone() override;
};
