// A view that holds other views: draws its background (a colour and optionally a bitmap) and
// then its views in the order they were added; a click goes to the topmost view under it.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/CView.h"

#include <vector>

class CBitmap;

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size) : CView(size) {}
    ~CViewContainer() override;

    // Takes ownership of view (the reference the creator held) and marks it dirty.
    void addView(CView* view);
    // Removes view; forgets it when withForget.
    void removeView(CView* view, bool withForget = true);
    void removeAll(bool withForget = true);
    int getNbViews() const { return static_cast<int>(views.size()); }
    CView* getView(int index) const;
    // The topmost view containing where, or null.
    CView* getViewAt(CPoint where) const;

    // The bitmap drawn behind the views (remembered), or null.
    virtual void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }
    void setBackgroundColor(CColor color);

    void draw(CDrawContext* context) override;
    // Draws the background and the views that overlap area.
    void drawRect(CDrawContext* context, const CRect& area);
    bool onMouseDown(CPoint where, long buttons) override;
    bool onWheel(CPoint where, float distance) override;
    void attached(CFrame* newFrame) override;
    void removed() override;
    // The union of the dirty parts (this container's own rectangle when it is dirty itself).
    CRect dirtyArea() const;

protected:
    std::vector<CView*> views;          // children in drawing order, one reference each
    CBitmap* background = nullptr;      // drawn behind the views, one reference; may be null
    CColor backgroundColor = kBlackCColor;   // where no bitmap covers
};
