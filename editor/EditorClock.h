// The system tick count and thread pause that the editor's idling while the mouse is tracked
// times itself with. Tests inject their own clock, so the timing is checked without sleeping.
#pragma once

#include <cstdint>

class EditorClock {
public:
    virtual ~EditorClock() = default;
    // Milliseconds of the system tick count; wraps around at 2^32.
    virtual std::uint32_t now() = 0;
    // Pauses the calling thread for milliseconds.
    virtual void pause(unsigned milliseconds) = 0;

    // The system's clock (platform::tickCountMs, platform::sleepMs).
    static EditorClock& system();
};
