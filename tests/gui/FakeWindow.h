// A window system for toolkit and editor tests: a fake window records what the frame draws and lets
// a test deliver the window system's events, with no display. Its optional native text control
// edits as a window system's control would and reports so.
#pragma once

#include "gui/Backend.h"
#include "gui/CFrame.h"
#include "gui/TextEditBuffer.h"

#include <memory>
#include <string>
#include <vector>

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

// The window system's text control: keys edit it, Enter and Escape end the edit.
struct NativeField : gui::NativeTextField {
    NativeField(const char* text, gui::NativeTextFieldClient& client, NativeField*& slot) : client(client), slot(slot)
    {
        buffer.begin(text);
        slot = this;
    }
    ~NativeField() override { slot = nullptr; }
    bool handleKey(const KeyEvent& key) override
    {
        const auto result = buffer.handleKey(key);
        if (result == TextEditBuffer::KeyResult::kConfirmed || result == TextEditBuffer::KeyResult::kCancelled)
            client.nativeEditEnded(buffer.text().c_str(), result == TextEditBuffer::KeyResult::kConfirmed);
        return result != TextEditBuffer::KeyResult::kIgnored;
    }
    void confirm() override { client.nativeEditEnded(buffer.text().c_str(), true); }
    TextEditBuffer buffer {255};
    gui::NativeTextFieldClient& client;
    NativeField*& slot;
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
    std::unique_ptr<gui::NativeTextField> createTextField(const CRect&, const char* text, const gui::TextFieldStyle&,
                                                          gui::NativeTextFieldClient& client) override
    {
        return native() ? std::make_unique<NativeField>(text, client, nativeField) : nullptr;
    }
    void dispatchPendingPaint() override { ++paintsDispatched; }

    gui::WindowEvents& events;
    std::vector<Drawing> drawings;
    int eventPumps = 0, focusTaken = 0, focusReleased = 0, paintsDispatched = 0;
    NativeField* nativeField = nullptr;   // the control while it exists

    static Window*& latest() { static Window* window = nullptr; return window; }   // null once destroyed
    static int& alive() { static int count = 0; return count; }
    static bool& native() { static bool offered = false; return offered; }        // new windows offer a control
    static void* refusedParent() { return reinterpret_cast<void*>(0xBAD); }      // like a window that does not exist
};

// Installs the fake window system for the life of the object.
struct Install {
    explicit Install(bool nativeTextFields = false)
    {
        Window::native() = nativeTextFields;
        gui::setWindowBackendFactory([](void* parent, const CRect&, gui::WindowEvents& events) -> std::unique_ptr<gui::WindowBackend> {
            return parent && parent != Window::refusedParent() ? std::make_unique<Window>(events) : nullptr;
        });
    }
    ~Install() { gui::setWindowBackendFactory(nullptr); }
};

} // namespace fake
