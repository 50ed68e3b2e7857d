// The base of everything drawn in a frame: a rectangle of the frame that draws itself, may take
// mouse clicks, keys and the wheel, and is redrawn at the frame's next idle once marked dirty.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/CReferenceCounter.h"
#include "gui/GuiTypes.h"

class CDrawContext;
class CFrame;

class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& size) : size(size) {}

    // Draws the view with context (whose clip is the area being redrawn).
    virtual void draw(CDrawContext* context);
    // A click at where (frame pixels) with buttons (CButtonState bits); true when used.
    virtual bool onMouseDown(CPoint where, long buttons);
    // Keys while the view holds the frame's focus: 1 when handled, -1 when not.
    virtual long onKeyDown(const KeyEvent& key);
    virtual long onKeyUp(const KeyEvent& key);
    // A wheel turn of distance notches at where; true when used.
    virtual bool onWheel(CPoint where, float distance);
    // The focus moves away from this view (a click elsewhere, the window lost the keyboard).
    virtual void looseFocus() {}

    // The frame that holds the view (set when it is added, cleared when removed).
    virtual void attached(CFrame* newFrame) { frame = newFrame; }
    virtual void removed() { frame = nullptr; }
    CFrame* getFrame() const { return frame; }

    virtual void setDirty(bool state = true) { dirty = state; }
    bool isDirty() const { return dirty; }
    const CRect& getViewSize() const { return size; }
    void setViewSize(const CRect& rect);
    bool hitTest(CPoint where) const { return size.pointInside(where); }

protected:
    CRect size;              // frame pixels covered by the view
    CFrame* frame = nullptr; // holder, not owned; null until added
    bool dirty = true;       // redraw at the frame's next idle
};
