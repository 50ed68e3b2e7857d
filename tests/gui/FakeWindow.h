// A window system for toolkit tests: frames get a FakeWindow instead of a real window. It records
// what the frame draws (fills, bitmaps, text, caret lines) and lets a test deliver the window
// system's events (clicks, keys, wheel, loss of focus) to the frame, with no display.
#pragma once

#include "gui/Backend.h"
#include "gui/CFrame.h"

#include <memory>
#include <string>
#include <vector>

namespace fake {

// Monospaced text: every byte is this wide; ascent and descent as below.
inline constexpr int kCharWidth = 6;
inline constexpr int kAscent = 9;
inline constexpr int kDescent = 3;

struct DrawnText {
    std::string text;
    CPoint origin;
    CColor color;
    CRect clip;   // the clip in force when it was drawn
};

struct DrawnFill {
    CRect rect;
    CColor color;
};

struct DrawnLine {
    CPoint from, to;
    CColor color;
};

struct Drawing {
    CRect area;                          // what the frame was asked to draw
    std::vector<DrawnFill> fills;
    std::vector<CRect> frames;
    std::vector<DrawnLine> lines;
    std::vector<CRect> bitmaps;          // destinations
    std::vector<DrawnText> texts;
};

class Device : public gui::DrawDevice {
public:
    explicit Device(Drawing& drawing) : drawing(drawing) {}
    void setClip(const CRect& clip) override { currentClip = clip; }
    void fillRect(const CRect& rect, CColor color) override { drawing.fills.push_back({rect.intersection(currentClip), color}); }
    void frameRect(const CRect& rect, CColor) override { drawing.frames.push_back(rect); }
    void drawLine(CPoint from, CPoint to, CColor color) override { drawing.lines.push_back({from, to, color}); }
    void drawBitmap(const gui::BitmapData&, const CRect& dest, CPoint) override { drawing.bitmaps.push_back(dest); }
    gui::FontMetrics fontMetrics(CFontId) override { return {kAscent, kDescent}; }
    int textWidth(CFontId, const char*, std::size_t length) override { return static_cast<int>(length) * kCharWidth; }
    void drawText(CFontId, const char* text, std::size_t length, CPoint origin, CColor color) override
    {
        drawing.texts.push_back({std::string(text, length), origin, color, currentClip});
    }

private:
    Drawing& drawing;
    CRect currentClip;
};

// A window system's text control: holds the text it was given and what a test types into it.
class NativeField : public gui::NativeTextField {
public:
    NativeField(std::string text, gui::NativeTextFieldClient& client, int& alive)
        : text(std::move(text)), client(client), alive(alive)
    {
        ++alive;
    }
    ~NativeField() override { --alive; }
    bool handleKey(const KeyEvent& key) override
    {
        if (key.virtualKey == VKEY_RETURN) {
            client.nativeEditEnded(text.c_str(), true);
            return true;
        }
        if (key.virtualKey == VKEY_ESCAPE) {
            client.nativeEditEnded(text.c_str(), false);
            return true;
        }
        if (key.virtualKey == 0 && key.character) {
            text += static_cast<char>(key.character);
            return true;
        }
        return false;
    }
    void confirm() override { client.nativeEditEnded(text.c_str(), true); }

    std::string text;

private:
    gui::NativeTextFieldClient& client;
    int& alive;
};

class Window : public gui::WindowBackend {
public:
    Window(void* parent, const CRect& size, gui::WindowEvents& events) : parent(parent), size(size), events(events) {}
    ~Window() override
    {
        if (latest() == this)
            latest() = nullptr;
        ++destroyedCount();
    }

    void processEvents() override { ++eventPumps; }
    void redraw(const CRect& area) override
    {
        drawings.push_back({area, {}, {}, {}, {}, {}});
        Device device(drawings.back());
        events.windowPaint(device, area);
    }
    bool cursorPosition(CPoint& where) override
    {
        where = cursor;
        return true;
    }
    void takeKeyboardFocus() override { ++focusTaken; }
    void releaseKeyboardFocus() override { ++focusReleased; }
    std::unique_ptr<gui::NativeTextField> createTextField(const CRect&, const char* text, const gui::TextFieldStyle&,
                                                          gui::NativeTextFieldClient& client) override
    {
        if (!nativeTextFields())
            return nullptr;
        auto field = std::make_unique<NativeField>(text, client, nativeFieldsAlive);
        lastNativeField = field.get();
        return field;
    }
    void dispatchPendingPaint() override { ++paintsDispatched; }

    // The texts drawn in the latest redraw.
    std::vector<std::string> lastTexts() const
    {
        std::vector<std::string> texts;
        if (!drawings.empty())
            for (const DrawnText& t : drawings.back().texts)
                texts.push_back(t.text);
        return texts;
    }

    void* parent;
    CRect size;
    gui::WindowEvents& events;
    std::vector<Drawing> drawings;
    CPoint cursor;
    int eventPumps = 0;
    int focusTaken = 0;
    int focusReleased = 0;
    int paintsDispatched = 0;
    int nativeFieldsAlive = 0;
    NativeField* lastNativeField = nullptr;

    // The window made most recently (null once destroyed), windows destroyed so far, and whether
    // new windows offer a native text control.
    static Window*& latest()
    {
        static Window* window = nullptr;
        return window;
    }
    static int& destroyedCount()
    {
        static int count = 0;
        return count;
    }
    static bool& nativeTextFields()
    {
        static bool native = false;
        return native;
    }
    // Parent handle for which creation fails, like a window that does not exist.
    static void* refusedParent() { return reinterpret_cast<void*>(0xBAD); }
};

inline std::unique_ptr<gui::WindowBackend> makeWindow(void* parent, const CRect& size, gui::WindowEvents& events)
{
    if (parent == nullptr || parent == Window::refusedParent())
        return nullptr;
    auto window = std::make_unique<Window>(parent, size, events);
    Window::latest() = window.get();
    return window;
}

// Installs the fake window system for the life of the object.
class Install {
public:
    explicit Install(bool nativeTextFields = false)
    {
        Window::nativeTextFields() = nativeTextFields;
        gui::setWindowBackendFactory(&makeWindow);
    }
    ~Install()
    {
        gui::setWindowBackendFactory(nullptr);
        Window::nativeTextFields() = false;
    }
};

} // namespace fake
