#include "Race/Autopilot.h"

#include <algorithm>
#include <cmath>

#include "Core/System.h"
#include "Race/AudioTrack.h"
#include "Race/Player.h"
#include "Race/Race.h"

using namespace Meridian;

namespace {

const F32 RealClockHorizon = 4.0f;  // seconds planned ahead when frames cannot be foreseen

U32 Milliseconds(Fixed seconds) { return static_cast<U32>(std::lround(std::max(0.0f, seconds.ToFloat()) * 1000.0f)); }

}  // namespace

bool LanePilot::OnPlan(const Race& race) const {
    if (m_Next == 0 || m_Next > m_Plan.buttons.size()) return false;
    const size_t j = m_Next - 1;
    const Player* player = race.GetPlayer();
    return race.GetPlayTime() == m_Frames[j].time && player->m_X == m_Plan.x[j] &&
           player->m_Lane == Fixed::FromInt(m_Plan.lane[j]) && race.m_CapsulesTaken == m_Plan.capsulesTaken[j] &&
           race.m_MinesHit == m_Plan.minesHit[j];
}

U32 LanePilot::Buttons(const App& app, const Race& race, U32 previous) {
    AudioTrack* track = race.GetAudioTrack();
    const Player* player = race.GetPlayer();
    if (!track || !player || !track->GetLaneGroup() || !track->GetHighway() || race.IsEnding()) {
        m_Racing = false;
        return 0;
    }
    if (!m_Racing || !OnPlan(race)) {
        // Frames to come: the next one a frame delta after the last.
        U32 step = Milliseconds(app.GetFrameDelta());
        if (step == 0) step = 16;
        const bool fixed = System::IsFixedClock();
        const size_t frames = fixed ? size_t(10000000) : static_cast<size_t>(RealClockHorizon * 1000.0f / static_cast<F32>(step));
        m_Frames = RacePlanner::FixedSteps(Milliseconds(race.GetPlayTime()) + step, step, race.m_SongLength, frames);
        RacePlanner::Make(*track->GetLaneGroup(), *track->GetHighway(), RacePlanner::FromRace(race, previous), m_Frames,
                          m_Plan);
        m_Next = 0;
        m_Racing = true;
        ++m_Plans;
    }
    if (m_Next >= m_Plan.buttons.size()) return 0;
    return m_Plan.buttons[m_Next++];
}
