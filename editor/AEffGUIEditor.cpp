#include "editor/AEffGUIEditor.h"

#include "gui/Backend.h"
#include "gui/CFrame.h"
#include "host/AudioEffect.h"
#include "platform/platform.h"

namespace {

class SystemClock : public EditorClock {
public:
    std::uint32_t now() override { return platform::tickCountMs(); }
    void pause(unsigned milliseconds) override { platform::sleepMs(milliseconds); }
};

// Tick counts are compared by their signed difference, so the 49.7-day wrap of the 32-bit
// count does not stall the idling.
std::int32_t ticksUntil(std::uint32_t time, std::uint32_t now)
{
    return static_cast<std::int32_t>(time - now);
}

} // namespace

KeyEvent toKeyEvent(const VstKeyCode& key)
{
    KeyEvent event;
    event.character = key.character;
    event.virtualKey = key.virt;
    event.modifiers = key.modifier;
    return event;
}

EditorClock& EditorClock::system()
{
    static SystemClock clock;
    return clock;
}

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect, EditorClock& clock)
    : AEffEditor(effect), nextIdleTime(clock.now()), clock(clock)
{
    if (effect)
        effect->setEditor(this);
    threadInitialized = gui::initializeThread();
}

AEffGUIEditor::~AEffGUIEditor()
{
    // A host may close the plug-in with the editor still open; its window must not outlive it.
    delete frame;
    frame = nullptr;
    if (threadInitialized)
        gui::uninitializeThread();
}

bool AEffGUIEditor::getRect(ERect** out)
{
    *out = &rect;
    return true;
}

void AEffGUIEditor::idle()
{
    if (!inIdle && frame)
        frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& key)
{
    return frame && frame->onKeyDown(toKeyEvent(key)) == 1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& key)
{
    return frame && frame->onKeyUp(toKeyEvent(key)) == 1;
}

bool AEffGUIEditor::onWheel(float distance)
{
    if (!frame)
        return false;
    CPoint where;
    if (!frame->getCurrentMouseLocation(where))
        return false;
    return frame->onWheel(where, distance);
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode)
{
    CFrame::setKnobMode(mode);
    return true;
}

void AEffGUIEditor::setParameter(VstInt32, float) {}

bool AEffGUIEditor::beginEdit(VstInt32 index)
{
    return effect && effect->beginEdit(index);
}

bool AEffGUIEditor::endEdit(VstInt32 index)
{
    return effect && effect->endEdit(index);
}

void AEffGUIEditor::idleDuringTracking()
{
    std::uint32_t now = clock.now();
    if (ticksUntil(nextIdleTime, now) > 0) {
        clock.pause(4);
        now += 4;
        if (ticksUntil(nextIdleTime, now) > 50)
            return;
    }
    idle();
    if (frame)
        frame->dispatchPendingPaint();
    nextIdleTime = now + 100;
    inIdle = true;
    if (effect)
        effect->masterIdle();
    inIdle = false;
}
