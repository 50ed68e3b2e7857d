#include "gui/CParamDisplay.h"

#include "gui/CDrawContext.h"

#include <cstdio>

CParamDisplay::CParamDisplay(const CRect& size, CControlListener* listener, long tag)
    : CControl(size, listener, tag)
{
}

std::string CParamDisplay::displayText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

void CParamDisplay::drawBox(CDrawContext* context)
{
    context->setFillColor(backColor);
    context->fillRect(size);
    context->setFrameColor(frameColor);
    context->drawRect(size);
}

void CParamDisplay::drawText(CDrawContext* context, const std::string& text)
{
    context->setFont(font);
    context->setFontColor(fontColor);
    // One pixel of the frame and one of air on each side.
    context->drawString(text, size.inset(2, 1), horiAlign);
}

void CParamDisplay::draw(CDrawContext* context)
{
    drawBox(context);
    drawText(context, displayText());
}
