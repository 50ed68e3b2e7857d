#include "gui/CViewContainer.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

#include <algorithm>

CViewContainer::~CViewContainer()
{
    removeAll(true);
    if (background)
        background->forget();
}

void CViewContainer::addView(CView* view)
{
    if (!view)
        return;
    views.push_back(view);
    view->attached(frame);
    view->setDirty(true);
}

void CViewContainer::removeView(CView* view, bool withForget)
{
    const auto found = std::find(views.begin(), views.end(), view);
    if (found == views.end())
        return;
    views.erase(found);
    view->removed();
    // What it covered shows the background again.
    dirty = true;
    if (withForget)
        view->forget();
}

void CViewContainer::removeAll(bool withForget)
{
    while (!views.empty())
        removeView(views.back(), withForget);
}

CView* CViewContainer::getView(int index) const
{
    return index >= 0 && index < getNbViews() ? views[index] : nullptr;
}

CView* CViewContainer::getViewAt(CPoint where) const
{
    for (auto view = views.rbegin(); view != views.rend(); ++view)
        if ((*view)->hitTest(where))
            return *view;
    return nullptr;
}

void CViewContainer::setBackground(CBitmap* bitmap)
{
    if (bitmap)
        bitmap->remember();
    if (background)
        background->forget();
    background = bitmap;
    dirty = true;
}

void CViewContainer::setBackgroundColor(CColor color)
{
    backgroundColor = color;
    dirty = true;
}

void CViewContainer::draw(CDrawContext* context)
{
    drawRect(context, size);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& area)
{
    const CRect clip = area.intersection(size);
    if (clip.isEmpty())
        return;
    context->setClipRect(clip);
    context->setFillColor(backgroundColor);
    context->fillRect(clip);
    if (background)
        background->draw(context, {size.left, size.top, size.left + background->getWidth(),
                                   size.top + background->getHeight()});
    for (CView* view : views) {
        if (!view->getViewSize().rectOverlap(clip))
            continue;
        context->setClipRect(clip.intersection(view->getViewSize()));
        view->draw(context);
        if (clip.intersection(view->getViewSize()) == view->getViewSize())
            view->setDirty(false);
    }
    context->setClipRect(clip);
    if (clip == size)
        dirty = false;
}

bool CViewContainer::onMouseDown(CPoint where, long buttons)
{
    CView* view = getViewAt(where);
    return view && view->onMouseDown(where, buttons);
}

bool CViewContainer::onWheel(CPoint where, float distance)
{
    CView* view = getViewAt(where);
    return view && view->onWheel(where, distance);
}

void CViewContainer::attached(CFrame* newFrame)
{
    CView::attached(newFrame);
    for (CView* view : views)
        view->attached(newFrame);
}

void CViewContainer::removed()
{
    for (CView* view : views)
        view->removed();
    CView::removed();
}

CRect CViewContainer::dirtyArea() const
{
    if (dirty)
        return size;
    CRect area;
    for (CView* view : views) {
        if (auto* container = dynamic_cast<CViewContainer*>(view))
            area = area.united(container->dirtyArea());
        else if (view->isDirty())
            area = area.united(view->getViewSize());
    }
    return area.intersection(size);
}
