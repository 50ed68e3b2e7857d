// The root of an editor's views: a child window of the host's window (through the back end),
// with a background bitmap, the views drawn over it, the view that holds the keyboard focus, and
// the owning editor. Redraws what is marked dirty at each idle.
//
// Threads: the host's user-interface thread.
#pragma once

#include "gui/Backend.h"
#include "gui/CFrameOwner.h"
#include "gui/CViewContainer.h"

#include <memory>

class CFrame : public CViewContainer, private gui::WindowEvents {
public:
    // Creates the window covering size inside parentWindow (the host's window: an X11 Window id
    // or an HWND). isOpen() tells whether the window system made it.
    CFrame(const CRect& size, void* parentWindow, CFrameOwner* owner);
    // Destroys the views and the window.
    ~CFrame() override;

    bool isOpen() const { return window != nullptr; }
    CFrameOwner* getOwner() const { return owner; }
    void* getSystemWindow() const { return parentWindow; }

    // Handles the window's queued events, then redraws the dirty views.
    void idle();
    // Marks the whole frame for redrawing at the next idle; false clears every dirty mark.
    void setDirty(bool state = true) override;

    // Host-forwarded keys go to the view with the focus: 1 when it used the key, -1 when not.
    long onKeyDown(const KeyEvent& key) override;
    long onKeyUp(const KeyEvent& key) override;
    // A wheel turn at where (frame pixels) goes to the view under it.
    bool onWheel(CPoint where, float distance) override;
    bool onMouseDown(CPoint where, long buttons) override;
    // The mouse position relative to the frame's window.
    bool getCurrentMouseLocation(CPoint& where);

    CView* getFocusView() const { return focusView; }
    void setFocusView(CView* view);
    void takeKeyboardFocus();
    void releaseKeyboardFocus();
    std::unique_ptr<gui::NativeTextField> createNativeTextField(const CRect& rect, const char* text,
                                                                const gui::TextFieldStyle& style,
                                                                gui::NativeTextFieldClient& client);
    // For controls that track the mouse: the owner idles the host (it calls back
    // dispatchPendingPaint, which handles one waiting paint request).
    void idleDuringTracking();
    void dispatchPendingPaint();

    // The module-wide knob mode (set through the editor).
    static long getKnobMode();
    static void setKnobMode(long mode);

private:
    void windowPaint(gui::DrawDevice& device, const CRect& area) override;
    void windowMouseDown(CPoint where, long buttons) override { onMouseDown(where, buttons); }
    void windowMouseUp(CPoint, long) override {}
    long windowKeyDown(const KeyEvent& key) override { return onKeyDown(key); }
    long windowKeyUp(const KeyEvent& key) override { return onKeyUp(key); }
    bool windowWheel(CPoint where, float distance) override { return onWheel(where, distance); }
    void windowFocusLost() override;

    void* parentWindow;                            // the host's window
    CFrameOwner* owner;                            // the editor, not owned; may be null
    CView* focusView = nullptr;                    // gets the keys; null when none
    std::unique_ptr<gui::WindowBackend> window;    // the child window; null when not made
};
