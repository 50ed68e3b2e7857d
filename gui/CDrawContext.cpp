#include "gui/CDrawContext.h"

#include "gui/CBitmap.h"

CDrawContext::CDrawContext(gui::DrawDevice& device, const CRect& clip)
    : device(device), contextClip(clip), currentClip(clip)
{
    device.setClip(currentClip);
}

void CDrawContext::setClipRect(const CRect& rect)
{
    currentClip = contextClip.intersection(rect);
    device.setClip(currentClip);
}

void CDrawContext::resetClipRect()
{
    currentClip = contextClip;
    device.setClip(currentClip);
}

void CDrawContext::fillRect(const CRect& rect)
{
    device.fillRect(rect, fillColor);
}

void CDrawContext::drawRect(const CRect& rect)
{
    device.frameRect(rect, frameColor);
}

void CDrawContext::lineTo(CPoint point)
{
    device.drawLine(penPosition, point, frameColor);
    penPosition = point;
}

void CDrawContext::drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source)
{
    if (const gui::BitmapData* data = bitmap.data())
        device.drawBitmap(*data, dest, source);
}

int CDrawContext::getStringWidth(std::string_view text)
{
    return device.textWidth(font, text.data(), text.size());
}

gui::FontMetrics CDrawContext::getFontMetrics()
{
    return device.fontMetrics(font);
}

int CDrawContext::baselineFor(const CRect& rect)
{
    const gui::FontMetrics metrics = device.fontMetrics(font);
    // Centre the ascent-to-descent box; an odd pixel goes below.
    return rect.top + (rect.height() - (metrics.ascent + metrics.descent)) / 2 + metrics.ascent;
}

void CDrawContext::drawString(std::string_view text, const CRect& rect, CHoriTxtAlign align)
{
    const CRect saved = currentClip;
    setClipRect(rect);
    const int width = getStringWidth(text);
    int x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.width() - width) / 2;
    else if (align == kRightText)
        x = rect.right - width;
    device.drawText(font, text.data(), text.size(), {x, baselineFor(rect)}, fontColor);
    currentClip = saved;
    device.setClip(currentClip);
}

void CDrawContext::drawStringAt(std::string_view text, CPoint origin)
{
    device.drawText(font, text.data(), text.size(), origin, fontColor);
}
