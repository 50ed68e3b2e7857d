// The toolkit's small value types: points and rectangles in pixels of a frame (x to the right,
// y downwards, right and bottom exclusive), colours as four bytes red, green, blue, alpha, the
// font table and text alignment, and the key events the frame's key handling uses.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include <algorithm>
#include <cstdint>

struct CPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;    // exclusive
    int bottom = 0;   // exclusive

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool pointInside(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool rectOverlap(const CRect& r) const
    {
        return left < r.right && r.left < right && top < r.bottom && r.top < bottom;
    }
    CRect intersection(const CRect& r) const
    {
        CRect out {std::max(left, r.left), std::max(top, r.top), std::min(right, r.right), std::min(bottom, r.bottom)};
        if (out.isEmpty())
            return {};
        return out;
    }
    CRect united(const CRect& r) const
    {
        if (isEmpty())
            return r;
        if (r.isEmpty())
            return *this;
        return {std::min(left, r.left), std::min(top, r.top), std::max(right, r.right), std::max(bottom, r.bottom)};
    }
    CRect inset(int dx, int dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
    friend bool operator==(const CRect&, const CRect&) = default;
};

// Alpha 0 and 255 both draw opaque: the toolkit draws no translucent fills, and colours packed
// with alpha 0 (as 0x00BBGGRR) are common in editors.
struct CColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;

    // The colour as a 32-bit value with red in the lowest byte, as it lies in memory.
    std::uint32_t packed() const
    {
        return red | (green << 8) | (blue << 16) | (static_cast<std::uint32_t>(alpha) << 24);
    }
    friend bool operator==(const CColor&, const CColor&) = default;
};

inline constexpr CColor kBlackCColor {0, 0, 0, 255};
inline constexpr CColor kWhiteCColor {255, 255, 255, 255};
inline constexpr CColor kGreyCColor {127, 127, 127, 255};

// The font table: seven sizes of one sans-serif face ("Arial" on Windows; fontconfig picks the
// nearest face on X11) and one symbol face.
enum CFontId {
    kSystemFont = 0,
    kNormalFontVeryBig,
    kNormalFontBig,
    kNormalFont,
    kNormalFontSmall,
    kNormalFontSmaller,
    kNormalFontVerySmall,
    kSymbolFont,
    kNumStandardFonts
};

struct CFontDesc {
    const char* face;   // face name
    int pixelSize;      // character height in pixels
};

inline constexpr CFontDesc kFontTable[kNumStandardFonts] = {
    {"Arial", 12}, {"Arial", 18}, {"Arial", 14}, {"Arial", 12},
    {"Arial", 11}, {"Arial", 10}, {"Arial", 9},  {"Symbol", 13},
};

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

// Virtual key codes of KeyEvent::virtualKey. They are numbered as the VST 2.4 interface numbers
// its virtual keys, so the editor glue passes a host's key code on unchanged.
enum VirtualKey : std::uint8_t {
    VKEY_BACK = 1, VKEY_TAB, VKEY_CLEAR, VKEY_RETURN, VKEY_PAUSE, VKEY_ESCAPE, VKEY_SPACE,
    VKEY_NEXT, VKEY_END, VKEY_HOME, VKEY_LEFT, VKEY_UP, VKEY_RIGHT, VKEY_DOWN, VKEY_PAGEUP,
    VKEY_PAGEDOWN, VKEY_SELECT, VKEY_PRINT, VKEY_ENTER, VKEY_SNAPSHOT, VKEY_INSERT, VKEY_DELETE,
    VKEY_HELP, VKEY_NUMPAD0, VKEY_NUMPAD1, VKEY_NUMPAD2, VKEY_NUMPAD3, VKEY_NUMPAD4, VKEY_NUMPAD5,
    VKEY_NUMPAD6, VKEY_NUMPAD7, VKEY_NUMPAD8, VKEY_NUMPAD9, VKEY_MULTIPLY, VKEY_ADD, VKEY_SEPARATOR,
    VKEY_SUBTRACT, VKEY_DECIMAL, VKEY_DIVIDE, VKEY_F1, VKEY_F2, VKEY_F3, VKEY_F4, VKEY_F5, VKEY_F6,
    VKEY_F7, VKEY_F8, VKEY_F9, VKEY_F10, VKEY_F11, VKEY_F12, VKEY_NUMLOCK, VKEY_SCROLL, VKEY_SHIFT,
    VKEY_CONTROL, VKEY_ALT, VKEY_EQUALS
};

// Modifier bits of KeyEvent::modifiers, numbered as the VST 2.4 interface numbers them.
enum ModifierKey : std::uint8_t {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

// A key pressed or released while the frame has the keyboard: the window system's own (X11), or
// one the host forwarded to the editor.
struct KeyEvent {
    std::int32_t character = 0;    // the character typed (Latin-1), 0 for a virtual key
    std::uint8_t virtualKey = 0;   // a VirtualKey, 0 for a character key
    std::uint8_t modifiers = 0;    // ModifierKey bits held down
};

// Mouse buttons and modifiers at a click.
enum CButtonState : long {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
};
