// A drawing context on a frame's back buffer: the current colours, font and clip over the back
// end's drawing device. Made by the frame for each redraw and handed to the views' draw.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/Backend.h"
#include "gui/GuiTypes.h"

#include <string_view>

class CBitmap;

class CDrawContext {
public:
    // Draws on device, limited to clip.
    CDrawContext(gui::DrawDevice& device, const CRect& clip);

    void setFillColor(CColor color) { fillColor = color; }
    void setFrameColor(CColor color) { frameColor = color; }
    void setFontColor(CColor color) { fontColor = color; }
    void setFont(CFontId id) { font = id; }
    CColor getFillColor() const { return fillColor; }
    CColor getFrameColor() const { return frameColor; }
    CColor getFontColor() const { return fontColor; }
    CFontId getFont() const { return font; }

    // Limits drawing to rect within the context's own clip; resetClipRect undoes it.
    void setClipRect(const CRect& rect);
    void resetClipRect();
    const CRect& getClipRect() const { return currentClip; }

    void fillRect(const CRect& rect);   // with the fill colour
    void drawRect(const CRect& rect);   // one-pixel outline in the frame colour
    void moveTo(CPoint point) { penPosition = point; }
    void lineTo(CPoint point);          // in the frame colour
    void drawBitmap(const CBitmap& bitmap, const CRect& dest, CPoint source = {});

    int getStringWidth(std::string_view text);
    gui::FontMetrics getFontMetrics();
    // text in the font colour, vertically centred in rect and placed by align; clipped to rect.
    void drawString(std::string_view text, const CRect& rect, CHoriTxtAlign align = kCenterText);
    // text with its baseline starting at origin.
    void drawStringAt(std::string_view text, CPoint origin);

    // The baseline that centres the current font vertically in rect.
    int baselineFor(const CRect& rect);

private:
    gui::DrawDevice& device;          // the back end's drawing on the back buffer
    CRect contextClip;                // the area this redraw may touch
    CRect currentClip;                // contextClip narrowed by setClipRect
    CColor fillColor = kWhiteCColor;  // fillRect
    CColor frameColor = kBlackCColor; // drawRect, lineTo
    CColor fontColor = kWhiteCColor;  // text
    CFontId font = kNormalFont;       // text
    CPoint penPosition;               // start of the next lineTo
};
