#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"

CBitmap::CBitmap(int resourceId) : resourceId(resourceId), bitmap(gui::loadBitmapResource(resourceId)) {}

void CBitmap::draw(CDrawContext* context, const CRect& dest, CPoint source) const
{
    if (context)
        context->drawBitmap(*this, dest, source);
}
