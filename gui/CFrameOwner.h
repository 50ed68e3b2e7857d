// What a frame asks of the editor that owns it: the host's edit gestures around a parameter
// change and host idling while the mouse is held down.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include <cstdint>

class CFrameOwner {
public:
    virtual ~CFrameOwner() = default;
    // The user starts and ends changing parameter index (the host groups the automation).
    virtual void beginEdit(std::int32_t index) = 0;
    virtual void endEdit(std::int32_t index) = 0;
    // Called repeatedly while a control tracks the mouse, so the host keeps running.
    virtual void idleDuringTracking() = 0;
};
