// Calibration: how late the player hears the music against the music clock.
//
// A click track loops while the player presses a button on each click they
// hear. A press counts with its difference to the nearest click, both read
// on the music clock in milliseconds (positive: the press came after the
// click); a press more than StrayMilliseconds from every click is a stray and
// does not count. Once PressesNeeded presses counted, their median is the
// audio offset: how far the race runs behind the music clock, what "[Audio]
// offset" in the player's settings keeps.
#pragma once

#include <string>
#include <vector>

#include "Core/Types.h"

class Calibration {
public:
    static constexpr Meridian::I32 PressesNeeded = 16;
    static constexpr Meridian::I32 StrayMilliseconds = 250;
    // The offsets the settings admit; a median beyond them is clamped.
    static constexpr Meridian::I32 LargestOffset = 1000;

    // Decodes the click track and finds its clicks: a click starts where the
    // signal first reaches a fifth of full scale after a tenth of a second
    // below it. False (one "[E] Calibration::LoadClicks: " line) when the
    // track cannot be decoded or holds no click; the presses counted so far
    // are dropped either way.
    bool LoadClicks(const std::string& path);
    // The clicks' starts in milliseconds from the track's start, each in
    // [0, lengthMs), for a track of lengthMs that loops.
    void SetClicks(const std::vector<Meridian::I32>& clicksMs, Meridian::I32 lengthMs);
    const std::vector<Meridian::I32>& GetClicks() const { return m_Clicks; }

    // A press at musicMs on the clock of the looping track (since its first
    // Play, across loops). True when it counted; ignored once done.
    bool Press(Meridian::I64 musicMs);
    // Presses seen, counted or not.
    Meridian::I32 GetPresses() const { return m_Presses; }
    Meridian::I32 GetCount() const { return static_cast<Meridian::I32>(m_Differences.size()); }
    bool IsDone() const { return GetCount() >= PressesNeeded; }
    // The last press's difference; whether it counted.
    Meridian::I32 GetLastDifference() const { return m_LastDifference; }
    bool WasLastCounted() const { return m_LastCounted; }
    // The median of the counted differences (of the middle two, rounded
    // towards zero, for an even count), within +-LargestOffset; 0 before any.
    Meridian::I32 GetOffset() const;

private:
    std::vector<Meridian::I32> m_Clicks;
    Meridian::I32 m_Length = 0;
    std::vector<Meridian::I32> m_Differences;
    Meridian::I32 m_Presses = 0;
    Meridian::I32 m_LastDifference = 0;
    bool m_LastCounted = false;
};
