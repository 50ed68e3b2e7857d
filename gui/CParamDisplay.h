// A control that shows its value as text in a box: a background colour, a one-pixel frame and
// the text in a font, colour and alignment of its own.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/CControl.h"

#include <string>

class CParamDisplay : public CControl {
public:
    CParamDisplay(const CRect& size, CControlListener* listener = nullptr, long tag = -1);

    void setFont(CFontId id) { font = id; setDirty(true); }
    void setFontColor(CColor color) { fontColor = color; setDirty(true); }
    void setBackColor(CColor color) { backColor = color; setDirty(true); }
    void setFrameColor(CColor color) { frameColor = color; setDirty(true); }
    void setHoriAlign(CHoriTxtAlign align) { horiAlign = align; setDirty(true); }
    CFontId getFont() const { return font; }
    CColor getFontColor() const { return fontColor; }
    CColor getBackColor() const { return backColor; }
    CColor getFrameColor() const { return frameColor; }
    CHoriTxtAlign getHoriAlign() const { return horiAlign; }

    void draw(CDrawContext* context) override;

protected:
    // The text shown: the value with two decimals unless a derived display says otherwise.
    virtual std::string displayText() const;
    // The box (background and frame) and text aligned in it.
    void drawBox(CDrawContext* context);
    void drawText(CDrawContext* context, const std::string& text);

    CFontId font = kNormalFont;          // text face and size
    CColor fontColor = kWhiteCColor;     // text
    CColor backColor = kBlackCColor;     // box fill
    CColor frameColor = kBlackCColor;    // box outline
    CHoriTxtAlign horiAlign = kCenterText;   // text placement in the box
};
