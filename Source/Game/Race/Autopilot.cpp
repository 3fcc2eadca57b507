#include "Race/Autopilot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Core/System.h"
#include "Race/AudioTrack.h"
#include "Race/Player.h"
#include "Race/Race.h"

using namespace Meridian;

namespace {

const F32 RealClockHorizon = 1.5f;  // seconds planned ahead when frames cannot be foreseen

U32 Milliseconds(Fixed seconds) { return static_cast<U32>(std::lround(std::max(0.0f, seconds.ToFloat()) * 1000.0f)); }

}  // namespace

bool LanePilot::OnPlan(const Race& race) const {
    if (m_Next == 0 || m_Next > m_Plan.buttons.size()) return false;
    const size_t j = m_Next - 1;
    const Player* player = race.GetPlayer();
    const bool counts = player->m_Lane == Fixed::FromInt(m_Plan.lane[j]) &&
                        race.m_CapsulesTaken == m_Plan.capsulesTaken[j] && race.m_MinesHit == m_Plan.minesHit[j];
    // On the real clock frames land between the planned ones: the plan holds
    // while the lane, the counts and the offset (within a quarter unit)
    // agree, for half a second of play.
    if (!System::IsFixedClock())
        return counts && std::abs((player->m_X - m_Plan.x[j]).Raw()) < 16384 &&
               race.GetPlayTime() < m_Frames.front().time + Fixed::FromRaw(32768);
    return counts && race.GetPlayTime() == m_Frames[j].time && player->m_X == m_Plan.x[j];
}

U32 LanePilot::Buttons(const App& app, const Race& race, U32 previous) {
    AudioTrack* track = race.GetAudioTrack();
    const Player* player = race.GetPlayer();
    if (!track || !player || !track->GetLaneGroup() || !track->GetHighway() || race.IsEnding()) {
        m_Racing = false;
        return 0;
    }
    U32 delta = Milliseconds(app.GetFrameDelta());
    if (delta == 0) delta = 16;
    const bool fixed = System::IsFixedClock();
    // What the frames advance the play time by, on average (the music clock
    // moves in uneven steps).
    const F32 played = (race.GetPlayTime() - m_LastPlayTime).ToFloat() * 1000.0f;
    m_LastPlayTime = race.GetPlayTime();
    if (!m_Racing) m_Step = m_Delta = static_cast<F32>(delta);
    if (m_Racing && played > 0.0f) m_Step += (played - m_Step) / 8.0f;
    m_Delta += (static_cast<F32>(delta) - m_Delta) / 8.0f;
    const U32 step = fixed ? delta : std::max<U32>(1, static_cast<U32>(std::lround(m_Step)));
    if (!fixed) delta = std::max<U32>(1, static_cast<U32>(std::lround(m_Delta)));
    if (!fixed && m_Racing) {
        // The planned frame nearest the one about to run.
        const Fixed next = race.GetPlayTime() + Fixed::FromFloat(static_cast<F32>(step) / 2000.0f);
        while (m_Next + 1 < m_Frames.size() && m_Frames[m_Next].time < next) ++m_Next;
    }
    if (!m_Racing || !OnPlan(race)) {
        // Frames to come: the next one a step of play time after the last.
        // (A long frame is planned as the parts the race tests hits in.)
        const size_t frames = fixed ? size_t(10000000)
                                    : static_cast<size_t>(RealClockHorizon * 1000.0f / static_cast<F32>(step)) *
                                          static_cast<size_t>(LaneRules::HitSteps(Fixed::FromFloat(step / 1000.0f)));
        m_Frames =
            RacePlanner::FixedSteps(Milliseconds(race.GetPlayTime()) + step, step, race.m_SongLength, frames, delta);
        RacePlanner::Make(*track->GetLaneGroup(), *track->GetHighway(), RacePlanner::FromRace(race, previous), m_Frames,
                          m_Plan);
        m_Next = 0;
        m_Racing = true;
        ++m_Plans;
    }
    if (m_Next >= m_Plan.buttons.size()) return 0;
    return m_Plan.buttons[m_Next++];
}
