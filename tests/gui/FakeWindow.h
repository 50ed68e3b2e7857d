// A window system for toolkit and editor tests: a fake window records what the frame draws and lets
// a test deliver the window system's events, with no display.
#pragma once

#include "gui/Backend.h"
#include "gui/CFrame.h"

namespace fake {

inline constexpr int kCharWidth = 6;   // monospaced; ascent 9, descent 3

struct DrawnText {
    std::string text;
    CPoint origin;
    CColor color;
    CRect clip;   // the clip in force when it was drawn
};

struct Drawing {
    CRect area;   // what the frame was asked to draw
    std::vector<std::pair<CRect, CColor>> fills;
    std::vector<std::pair<CPoint, CPoint>> lines;
    std::vector<DrawnText> texts;
};

struct Device : gui::DrawDevice {
    explicit Device(Drawing& drawing) : drawing(drawing) {}
    void setClip(const CRect& rect) override { clip = rect; }
    void fillRect(const CRect& rect, CColor color) override { drawing.fills.push_back({rect.intersection(clip), color}); }
    void frameRect(const CRect&, CColor) override {}
    void drawLine(CPoint from, CPoint to, CColor) override { drawing.lines.push_back({from, to}); }
    void drawBitmap(const gui::BitmapData&, const CRect&, CPoint) override {}
    gui::FontMetrics fontMetrics(CFontId) override { return {9, 3}; }
    int textWidth(CFontId, const char*, std::size_t length) override { return static_cast<int>(length) * kCharWidth; }
    void drawText(CFontId, const char* text, std::size_t length, CPoint origin, CColor color) override
    {
        drawing.texts.push_back({std::string(text, length), origin, color, clip});
    }
    Drawing& drawing;
    CRect clip;
};

struct Window : gui::WindowBackend {
    explicit Window(gui::WindowEvents& events) : events(events) { latest() = this, ++alive(); }
    ~Window() override { latest() = latest() == this ? nullptr : latest(), --alive(); }
    void processEvents() override { ++eventPumps; }
    void redraw(const CRect& area) override
    {
        drawings.push_back({area, {}, {}, {}});
        Device device(drawings.back());
        events.windowPaint(device, area);
    }
    bool cursorPosition(CPoint& where) override { return where = {}, true; }
    void takeKeyboardFocus() override { ++focusTaken; }
    void releaseKeyboardFocus() override { ++focusReleased; }
    std::unique_ptr<gui::NativeTextField> createTextField(const CRect&, const char*, const gui::TextFieldStyle&,
                                                          gui::NativeTextFieldClient&) override { return nullptr; }
    void dispatchPendingPaint() override { ++paintsDispatched; }

    gui::WindowEvents& events;
    std::vector<Drawing> drawings;
    int eventPumps = 0, focusTaken = 0, focusReleased = 0, paintsDispatched = 0;

    static Window*& latest() { static Window* window = nullptr; return window; }   // null once destroyed
    static int& alive() { static int count = 0; return count; }
    static void* refusedParent() { return reinterpret_cast<void*>(0xBAD); }      // like a window that does not exist
};

// Installs the fake window system for the life of the object.
struct Install {
    Install()
    {
        gui::setWindowBackendFactory([](void* parent, const CRect&, gui::WindowEvents& events) -> std::unique_ptr<gui::WindowBackend> {
            return parent && parent != Window::refusedParent() ? std::make_unique<Window>(events) : nullptr;
        });
    }
    ~Install() { gui::setWindowBackendFactory(nullptr); }
};

} // namespace fake
