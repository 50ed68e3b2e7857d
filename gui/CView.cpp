#include "gui/CView.h"

void CView::draw(CDrawContext*) {}

bool CView::onMouseDown(CPoint, long)
{
    return false;
}

long CView::onKeyDown(const KeyEvent&)
{
    return -1;
}

long CView::onKeyUp(const KeyEvent&)
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
