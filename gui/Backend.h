// The interface between the portable toolkit and one window system. A back end (gui/x11,
// gui/win32) defines the free functions at the end and implements the classes: a window that is a
// child of the host's window with an off-screen back buffer, drawing on that buffer, bitmaps loaded
// from the module's resources, and optionally a native text field for in-place editing.
//
// Threads: everything runs on the host's user-interface thread.
#pragma once

#include "gui/GuiTypes.h"

#include <cstddef>
#include <memory>

namespace gui {

// A bitmap from the module's resources, in the form the back end draws fastest.
class BitmapData {
public:
    virtual ~BitmapData() = default;
    virtual int width() const = 0;    // pixels
    virtual int height() const = 0;   // pixels
};

struct FontMetrics {
    int ascent = 0;    // pixels above the baseline
    int descent = 0;   // pixels below it
};

// Drawing on a window's back buffer. Coordinates are frame pixels; nothing is drawn outside the
// clip rectangle.
class DrawDevice {
public:
    virtual ~DrawDevice() = default;
    virtual void setClip(const CRect& clip) = 0;
    virtual void fillRect(const CRect& rect, CColor color) = 0;
    // A one-pixel outline along the inside of rect.
    virtual void frameRect(const CRect& rect, CColor color) = 0;
    virtual void drawLine(CPoint from, CPoint to, CColor color) = 0;
    // Copies the bitmap's pixels from source onwards into dest.
    virtual void drawBitmap(const BitmapData& bitmap, const CRect& dest, CPoint source) = 0;
    virtual FontMetrics fontMetrics(CFontId font) = 0;
    virtual int textWidth(CFontId font, const char* text, std::size_t length) = 0;
    // Antialiased text, its baseline starting at origin. Bytes are Latin-1 / Windows-1252.
    virtual void drawText(CFontId font, const char* text, std::size_t length, CPoint origin, CColor color) = 0;
};

// What a window reports to its frame.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // Draw area of the frame on device (the back end shows the result).
    virtual void windowPaint(DrawDevice& device, const CRect& area) = 0;
    virtual void windowMouseDown(CPoint where, long buttons) = 0;
    virtual void windowMouseUp(CPoint where, long buttons) = 0;
    // 1 when handled, -1 when not.
    virtual long windowKeyDown(const KeyEvent& key) = 0;
    virtual long windowKeyUp(const KeyEvent& key) = 0;
    virtual bool windowWheel(CPoint where, float distance) = 0;
    // The window lost the keyboard focus to another window.
    virtual void windowFocusLost() = 0;
};

// The receiver of a native text field's result.
class NativeTextFieldClient {
public:
    virtual ~NativeTextFieldClient() = default;
    // The edit ended: confirmed (Enter, focus moved away) with the field's text, or cancelled
    // (Escape). The client may destroy the field from here.
    virtual void nativeEditEnded(const char* text, bool confirmed) = 0;
};

// A window-system text control edited in place over a text view.
class NativeTextField {
public:
    virtual ~NativeTextField() = default;
    // A key the host forwarded: typed into the control, or ending the edit (Enter, Escape).
    // True when the key was used.
    virtual bool handleKey(const KeyEvent& key) = 0;
    // Ends the edit as confirmed (a click elsewhere in the frame).
    virtual void confirm() = 0;
};

struct TextFieldStyle {
    CFontId font = kNormalFont;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    // Handles what the window system queued for the window (X11); nothing where the host's
    // message loop delivers the events (Win32).
    virtual void processEvents() = 0;
    // Draws area now through WindowEvents::windowPaint and shows it.
    virtual void redraw(const CRect& area) = 0;
    // The mouse position relative to the window; false when it cannot be known.
    virtual bool cursorPosition(CPoint& where) = 0;
    // Directs keyboard input to the window while a view edits text; gives it back after.
    virtual void takeKeyboardFocus() = 0;
    virtual void releaseKeyboardFocus() = 0;
    // A native text control over rect, or null when the toolkit edits the text in place itself.
    virtual std::unique_ptr<NativeTextField> createTextField(const CRect& rect, const char* text,
                                                             const TextFieldStyle& style,
                                                             NativeTextFieldClient& client) = 0;
    // Handles one pending paint request of the thread, if any (while the mouse is tracked).
    virtual void dispatchPendingPaint() = 0;
};

// Creates the frame's window as a child of parent (an X11 Window id or an HWND) covering size;
// null when the window system refuses (no display, a parent that does not exist).
std::unique_ptr<WindowBackend> createWindowBackend(void* parent, const CRect& size, WindowEvents& events);

// Bitmap resource resourceId of the module; null when there is none. X11: a bitmap the module
// registered (gui/EmbeddedBitmaps.h); Win32: the DLL's bitmap resource, through the module handle.
std::unique_ptr<BitmapData> loadBitmapResource(int resourceId);

// Per-thread set-up that the window system's drag and drop needs (OLE on Windows); true when
// uninitializeThread must undo it later on the same thread. Nothing to do on X11.
bool initializeThread();
void uninitializeThread();

// Tests replace the window system with their own windows; null restores it.
using WindowBackendFactory = std::unique_ptr<WindowBackend> (*)(void* parent, const CRect& size, WindowEvents& events);
void setWindowBackendFactory(WindowBackendFactory factory);

} // namespace gui
