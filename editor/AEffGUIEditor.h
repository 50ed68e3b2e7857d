// The editor glue between the host's editor requests and the toolkit: the window rectangle
// reported to the host, the frame (the editor's window and the root of its views) while open,
// key and wheel forwarding, the knob mode, the host's edit gestures, and idling the host while a
// control tracks the mouse.
//
// Threads: every operation runs on the host's user-interface thread.
#pragma once

#include "editor/EditorClock.h"
#include "gui/CFrameOwner.h"
#include "gui/GuiTypes.h"
#include "host/AEffEditor.h"

#include <cstdint>

class CFrame;

// The toolkit's key event for a key the host forwarded (effEditKeyDown and effEditKeyUp: the
// dispatcher has made index the character, the low byte of value the virtual key and the low
// byte of opt's integer part the modifier bits). The toolkit numbers virtual keys and modifier
// bits as VST 2.4 does, so each field is carried over as it is.
KeyEvent toKeyEvent(const VstKeyCode& key);

class AEffGUIEditor : public AEffEditor {
public:
    // [host thread] Attaches itself to effect (which then reports an editor) and prepares the
    // thread for the toolkit's drag and drop. clock: the tick count and pause of
    // idleDuringTracking, not owned.
    explicit AEffGUIEditor(AudioEffect* effect, EditorClock& clock = EditorClock::system());
    // Destroys a frame the host left open.
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    void idle() override;
    // Host-forwarded keys go to the frame as the toolkit's key events (toKeyEvent): true when a
    // view used the key.
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    // A wheel turn of distance notches at the mouse position.
    bool onWheel(float distance) override;
    bool setKnobMode(VstInt32 mode) override;

    // A parameter changed elsewhere; nothing to show in this editor.
    virtual void setParameter(VstInt32 index, float value);
    // The host's edit gestures around a change of parameter index.
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    // Called by the toolkit while it tracks the mouse: idles the editor and the host at most
    // every 100 ms, pausing 4 ms on calls that come sooner.
    virtual void idleDuringTracking();

    CFrame* getFrame() const { return frame; }

protected:
    // What the frame's owner interface answers to: this editor.
    CFrameOwner* frameOwner() { return &owner; }

    ERect rect {};                   // window rectangle reported to the host, pixels
    std::uint32_t nextIdleTime;      // tick count (ms) from which idleDuringTracking idles again
    bool inIdle = false;             // the host is being idled from idleDuringTracking
    CFrame* frame = nullptr;         // the editor's window and views, owned; null while closed

private:
    class Owner : public CFrameOwner {
    public:
        explicit Owner(AEffGUIEditor& editor) : editor(editor) {}
        void beginEdit(VstInt32 index) override { editor.beginEdit(index); }
        void endEdit(VstInt32 index) override { editor.endEdit(index); }
        void idleDuringTracking() override { editor.idleDuringTracking(); }

    private:
        AEffGUIEditor& editor;
    };

    Owner owner {*this};             // the frame's way back to this editor
    EditorClock& clock;              // tick count and pause, not owned
    bool threadInitialized = false;  // the toolkit's thread set-up (OLE) is to be undone
};
