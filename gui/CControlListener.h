// The receiver of a control's finished changes (the editor that owns the controls).
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

class CControl;
class CDrawContext;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    // control's value or text changed through the user. context: a context to draw with at once,
    // or null when the change is drawn at the frame's next idle.
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    // A click with modifiers on control; 1 when the listener used it, 0 to let the control act.
    virtual long controlModifierClicked(CDrawContext* /*context*/, CControl* /*control*/, long /*button*/)
    {
        return 0;
    }
};
