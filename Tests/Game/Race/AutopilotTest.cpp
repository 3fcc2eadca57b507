// The autopilot: its lane plan on hand-made obstacle lists, and a whole race
// of the demo song, which shows that obstacle placement, race timing and
// collisions agree (a player who aims right collects what lies there).
#include <gtest/gtest.h>

#include <filesystem>

#include "Analysis/TrackGen.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Front/Screens.h"
#include "Input/InputNull.h"
#include "Race/Autopilot.h"
#include "Race/Race.h"
#include "Render/RenderNull.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

LanePilot::Obstacle At(float time, I32 lane, bool mine) { return {Fixed::FromFloat(time), lane, mine}; }

U32 g_Held = 0;

class PilotInput : public InputNull {
    MERIDIAN_CLASS(PilotInput, InputNull)
    U32 GetButtons() override { return g_Held; }
};

Render* MakeRender() { return New<RenderNull>(); }
Input* MakeInput() { return New<PilotInput>(); }
AudioPlayer* MakeAudio() { return CreateAudioPlayerSilent(); }

}  // namespace

TEST(LanePilot, PlansForCapsulesAroundMines) {
    const Fixed now = Fixed::FromInt(10);
    // Nothing ahead: stay.
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::Zero, 0, {}), 0);
    // A capsule to the right.
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.5f, 1, false)}), 1);
    // A mine in our lane with nothing to take: step aside.
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.3f, 0, true)}), 0);
    // A mine first in the capsule's lane: wait elsewhere, then take it.
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.3f, 1, true), At(10.9f, 1, false)}), 1);
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::FromInt(-4), -1, {At(10.3f, 1, true), At(10.9f, 1, false)}), 1);
    // Two capsules too close together on opposite sides: take one of them.
    const I32 lane = LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.40f, -1, false), At(10.45f, 1, false)});
    EXPECT_TRUE(lane == -1 || lane == 1);
    // Once an obstacle has passed, the next one decides: away from a mine.
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::FromInt(-7), -2, {At(10.02f, 1, false), At(10.5f, -2, true)}), -2);
    EXPECT_NE(LanePilot::ChooseLane(Fixed::FromFloat(10.1f), Fixed::FromInt(-7), -2,
                                    {At(10.02f, 1, false), At(10.5f, -2, true)}),
              -2);
}

TEST(LanePilot, DemoSongRace) {
    ::Test::TempDir dir;
    const std::string song = dir.File("demo.ogg");
    std::filesystem::copy_file(std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Music/SkyRail Demo.ogg", song);
    {
        TrackGen generator(song);
        ASSERT_EQ(generator.Init(), 0);
        while (generator.Step()) {
        }
        ASSERT_FALSE(generator.Failed());
    }

    System::UseFixedClock(16, 1000);
    SetDeviceFactory(DeviceFactory{&MakeRender, &MakeInput, &MakeAudio});
    {
        Ref<App> app = New<App>();
        ASSERT_TRUE(app->Init(0, nullptr));
        RaceHud hud;
        hud.m_RaceRoot = New<Group>();
        hud.m_GuiRoot = New<Group>();
        Screens::BuildHud(hud, Screens::LoadFont("Data/Fonts/SpaceAge12", Fixed::FromInt(12), 1, false), nullptr);
        Ref<AudioSource> music = app->GetAudio()->AddMusic(song);
        Race race;
        LanePilot pilot;
        g_Held = 0;
        ASSERT_TRUE(race.Start(*app, hud, song, music));
        bool finished = false;
        for (int frame = 0; frame < 10000 && !finished; ++frame) {
            g_Held = pilot.Buttons(race, g_Held);
            app->UpdateInput();
            app->UpdateTime();
            finished = race.Step(*app, hud);
            app->Draw();
            System::FrameTick();
        }
        EXPECT_TRUE(finished);
        ASSERT_GT(race.m_CapsulesPlaced, 50);
        EXPECT_GE(race.m_CapsulesTaken * 10, race.m_CapsulesPlaced * 9)
            << race.m_CapsulesTaken << " of " << race.m_CapsulesPlaced << " capsules";
        EXPECT_LE(race.m_MinesHit * 10, race.m_MinesPlaced) << race.m_MinesHit << " of " << race.m_MinesPlaced << " mines";
        race.End(*app, hud);
        app->Exit();
    }
    SetDeviceFactory(NullDeviceFactory());
    System::UseRealClock();
}
