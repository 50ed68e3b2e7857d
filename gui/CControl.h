// A view with a value from 0 to 1, a tag (the parameter it shows, or -1) and a listener that
// hears of changes made by the user.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/CView.h"

class CControlListener;

class CControl : public CView {
public:
    // tag: the parameter index the control edits, or -1 when it edits none.
    CControl(const CRect& size, CControlListener* listener, long tag = -1);

    virtual void setValue(float newValue);
    float getValue() const { return value; }
    long getTag() const { return tag; }
    CControlListener* getListener() const { return listener; }

    // The host's edit gestures for the control's parameter, through the frame's owner; nothing
    // for a control without a parameter (tag -1).
    void beginEdit();
    void endEdit();
    // Calls the listener's valueChanged.
    void notifyValueChanged();

protected:
    CControlListener* listener;   // told of changes by the user; not owned, may be null
    long tag;                     // parameter index, -1 for none
    float value = 0.0f;           // 0 to 1
};
