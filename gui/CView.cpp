#include "gui/CView.h"

void CView::draw(CDrawContext*) {}

bool CView::onMouseDown(CPoint, long)
{
    return false;
}

long CView::onKeyDown(VstKeyCode&)
{
    return -1;
}

long CView::onKeyUp(VstKeyCode&)
{
    return -1;
}

bool CView::onWheel(CPoint, float)
{
    return false;
}

void CView::setViewSize(const CRect& rect)
{
    size = rect;
    dirty = true;
}
