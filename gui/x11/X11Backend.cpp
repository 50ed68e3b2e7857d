// The X11 back end: the frame is a child window of the host's window, on a display connection of
// its own (so the host's connection and event loop are left alone). Its events are read when the
// frame idles (Linux hosts send the editor idle regularly). Drawing goes to a pixmap of the
// window's size with Xlib and Xft (antialiased text) and is copied to the window.
//
// X errors must never end the host: every request of this back end runs inside an ErrorTrap,
// which catches the errors of this connection (a parent window that does not exist, a window the
// host destroyed before closing the editor) and hands errors of other connections on to the
// handler that was installed before.
#include "gui/Backend.h"
#include "gui/BmpImage.h"
#include "gui/EmbeddedBitmaps.h"

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <array>
#include <string>
#include <vector>

namespace gui {

namespace {

// Catches the X errors of one display connection while alive; nests.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display(display)
    {
        if (depth++ == 0) {
            trapped = display;
            previous = XSetErrorHandler(&ErrorTrap::handler);
        }
        errorsAtStart = errors;
    }

    ~ErrorTrap()
    {
        if (--depth == 0) {
            // Errors arrive asynchronously: the round trip collects all of this scope's.
            XSync(display, False);
            XSetErrorHandler(previous);
            trapped = nullptr;
        }
    }

    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // True when a request of this scope failed (after a round trip).
    bool failed()
    {
        XSync(display, False);
        return errors != errorsAtStart;
    }

private:
    static int handler(Display* errorDisplay, XErrorEvent* event)
    {
        if (errorDisplay == trapped) {
            ++errors;
            return 0;
        }
        return previous ? previous(errorDisplay, event) : 0;
    }

    Display* display;                          // the connection whose errors are caught
    unsigned long errorsAtStart;               // errors before this scope
    static inline int depth = 0;               // open traps (all on the user-interface thread)
    static inline Display* trapped = nullptr;  // connection of the outermost trap
    static inline XErrorHandler previous = nullptr;   // the handler before it
    static inline unsigned long errors = 0;    // errors caught so far
};

class X11Bitmap : public BitmapData {
public:
    explicit X11Bitmap(RgbImage image) : image(std::move(image)) {}
    int width() const override { return image.width; }
    int height() const override { return image.height; }

    RgbImage image;   // the pixels; converted to the window's visual when drawn
};

// Pixel values of a TrueColor visual from 8-bit components.
class PixelFormat {
public:
    PixelFormat() = default;
    PixelFormat(const Visual* visual, int depth)
    {
        red = Channel(visual->red_mask);
        green = Channel(visual->green_mask);
        blue = Channel(visual->blue_mask);
        // 32-bit visuals carry alpha in the remaining bits: opaque.
        const unsigned long used = visual->red_mask | visual->green_mask | visual->blue_mask;
        opaque = depth == 32 ? (~used & 0xFFFFFFFFul) : 0;
    }

    unsigned long pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) const
    {
        return red.value(r) | green.value(g) | blue.value(b) | opaque;
    }

private:
    struct Channel {
        Channel() = default;
        explicit Channel(unsigned long mask)
        {
            if (!mask)
                return;
            while (!(mask & 1)) {
                mask >>= 1;
                ++shift;
            }
            maximum = mask;
        }
        unsigned long value(std::uint8_t component) const
        {
            return ((component * maximum + 127) / 255) << shift;
        }
        int shift = 0;                 // position of the lowest bit
        unsigned long maximum = 0;     // the mask shifted down
    };

    Channel red, green, blue;   // where each component goes in a pixel
    unsigned long opaque = 0;   // alpha bits, all set
};

class X11Window;

class X11DrawDevice : public DrawDevice {
public:
    explicit X11DrawDevice(X11Window& window) : window(window) {}

    void setClip(const CRect& clip) override;
    void fillRect(const CRect& rect, CColor color) override;
    void frameRect(const CRect& rect, CColor color) override;
    void drawLine(CPoint from, CPoint to, CColor color) override;
    void drawBitmap(const BitmapData& bitmap, const CRect& dest, CPoint source) override;
    FontMetrics fontMetrics(CFontId font) override;
    int textWidth(CFontId font, const char* text, std::size_t length) override;
    void drawText(CFontId font, const char* text, std::size_t length, CPoint origin, CColor color) override;

private:
    X11Window& window;   // display, back buffer, GC, fonts
};

class X11Window : public WindowBackend {
public:
    X11Window(::Window parent, const CRect& size, WindowEvents& events) : size(size), events(events)
    {
        // A busy server may drop a connection while setting it up; one more try is enough then.
        for (int attempt = 0; attempt < 3 && !display; ++attempt)
            display = XOpenDisplay(nullptr);
        if (!display)
            return;
        // Xft keeps closed fonts for reuse and frees them only when the display closes. Freed
        // that late, their glyph sets make libXrender record this connection anew after it has
        // already forgotten it, and a later connection at the same address (this editor's next,
        // or the host's own) would use that dangling record: wrong request codes, a client that
        // waits forever. Without the cache, fonts go at XftFontClose, while the display is whole.
        if (FcPattern* defaults = FcPatternCreate()) {
            FcPatternAddInteger(defaults, XFT_MAX_UNREF_FONTS, 0);
            XftDefaultSet(display, defaults);   // takes the pattern
        }
        ErrorTrap trap(display);
        XWindowAttributes parentAttributes {};
        // A parent that does not exist answers with an error, caught here, instead of ending the
        // host.
        if (!XGetWindowAttributes(display, parent, &parentAttributes) || trap.failed())
            return;
        if (parentAttributes.visual->c_class != TrueColor || size.isEmpty())
            return;
        visual = parentAttributes.visual;
        colormap = parentAttributes.colormap;
        depth = parentAttributes.depth;
        format = PixelFormat(visual, depth);

        XSetWindowAttributes attributes {};
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask
                                | FocusChangeMask | StructureNotifyMask;
        attributes.background_pixmap = None;   // the frame paints every pixel itself
        window = XCreateWindow(display, parent, size.left, size.top, size.width(), size.height(), 0,
                               CopyFromParent, InputOutput, CopyFromParent, CWEventMask | CWBackPixmap,
                               &attributes);
        backBuffer = XCreatePixmap(display, window, size.width(), size.height(), depth);
        gc = XCreateGC(display, backBuffer, 0, nullptr);
        if (trap.failed()) {
            release();
            return;
        }
        xftDraw = XftDrawCreate(display, backBuffer, visual, colormap);
        XMapWindow(display, window);
        if (trap.failed() || !xftDraw) {
            release();
            return;
        }
        ready = true;
    }

    ~X11Window() override { release(); }

    bool isReady() const { return ready; }

    void processEvents() override
    {
        if (!ready)
            return;
        ErrorTrap trap(display);
        CRect exposed;
        while (ready && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.xany.window != window)
                continue;
            switch (event.type) {
            case Expose:
                exposed = exposed.united({event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                          event.xexpose.y + event.xexpose.height});
                break;
            case ButtonPress:
                buttonPressed(event.xbutton);
                break;
            case KeyPress:
            case KeyRelease:
                keyEvent(event.xkey);
                break;
            case FocusOut:
                // Only a real move of the keyboard elsewhere, not focus passing through children
                // or the pointer.
                if (hasFocus && event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior
                    && event.xfocus.detail != NotifyPointer) {
                    hasFocus = false;
                    events.windowFocusLost();
                }
                break;
            case DestroyNotify:
                // The host destroyed its window (and with it ours) before closing the editor.
                gone = true;
                break;
            default:
                break;
            }
        }
        if (!exposed.isEmpty())
            redraw(exposed);
    }

    void redraw(const CRect& area) override
    {
        if (!ready || gone)
            return;
        ErrorTrap trap(display);
        const CRect clip = area.intersection({0, 0, size.width(), size.height()});
        if (clip.isEmpty())
            return;
        X11DrawDevice device(*this);
        events.windowPaint(device, clip);
        XSetClipMask(display, gc, None);
        XCopyArea(display, backBuffer, window, gc, clip.left, clip.top, clip.width(), clip.height(), clip.left,
                  clip.top);
        XFlush(display);
    }

    bool cursorPosition(CPoint& where) override
    {
        if (!ready || gone)
            return false;
        ErrorTrap trap(display);
        ::Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask))
            return false;
        where = {x, y};
        return !trap.failed();
    }

    void takeKeyboardFocus() override
    {
        if (!ready || gone || hasFocus)
            return;
        ErrorTrap trap(display);
        int revert = 0;
        XGetInputFocus(display, &previousFocus, &revert);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        hasFocus = !trap.failed();
    }

    void releaseKeyboardFocus() override
    {
        if (!ready || !hasFocus)
            return;
        hasFocus = false;
        if (gone)
            return;
        // Back to where the keyboard was (the host's window), if that still exists.
        ErrorTrap trap(display);
        if (previousFocus != None && previousFocus != window)
            XSetInputFocus(display, previousFocus, RevertToParent, CurrentTime);
    }

    std::unique_ptr<NativeTextField> createTextField(const CRect&, const char*, const TextFieldStyle&,
                                                     NativeTextFieldClient&) override
    {
        return nullptr;   // the toolkit edits in place
    }

    void dispatchPendingPaint() override
    {
        if (!ready || gone)
            return;
        ErrorTrap trap(display);
        XEvent event;
        if (XCheckTypedWindowEvent(display, window, Expose, &event))
            redraw({event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                    event.xexpose.y + event.xexpose.height});
    }

    XftFont* font(CFontId id)
    {
        if (id < 0 || id >= kNumStandardFonts)
            id = kNormalFont;
        if (!fonts[id]) {
            // The Windows face first, then the usual metric-compatible and default faces.
            const CFontDesc& desc = kFontTable[id];
            const std::string fallbacks = id == kSymbolFont ? "OpenSymbol,Standard Symbols PS,DejaVu Sans,sans-serif"
                                                            : "Liberation Sans,Arimo,DejaVu Sans,sans-serif";
            const std::string name = std::string(desc.face) + "," + fallbacks
                                     + ":pixelsize=" + std::to_string(desc.pixelSize) + ":antialias=true";
            fonts[id] = XftFontOpenName(display, DefaultScreen(display), name.c_str());
        }
        return fonts[id];
    }

    Display* display = nullptr;     // this window's own connection
    ::Window window = 0;            // the frame's child window
    Pixmap backBuffer = 0;          // the frame's pixels, copied to the window
    GC gc = nullptr;                // fills, lines and copies
    XftDraw* xftDraw = nullptr;     // text on the back buffer
    Visual* visual = nullptr;       // the parent's visual (TrueColor)
    Colormap colormap = 0;          // the parent's colormap
    int depth = 0;                  // bits per pixel of window and pixmap
    PixelFormat format;             // colour to pixel value

private:
    void release()
    {
        if (!display)
            return;
        {
            ErrorTrap trap(display);
            for (XftFont*& f : fonts)
                if (f) {
                    XftFontClose(display, f);
                    f = nullptr;
                }
            if (xftDraw)
                XftDrawDestroy(xftDraw);
            if (gc)
                XFreeGC(display, gc);
            if (backBuffer)
                XFreePixmap(display, backBuffer);
            // Already gone when the host destroyed its window first; the error is caught.
            if (window && !gone)
                XDestroyWindow(display, window);
        }
        XCloseDisplay(display);
        display = nullptr;
        ready = false;
    }

    void buttonPressed(const XButtonEvent& button)
    {
        const CPoint where {button.x, button.y};
        if (button.button == Button4 || button.button == Button5) {
            events.windowWheel(where, button.button == Button4 ? 1.0f : -1.0f);
            return;
        }
        long buttons = 0;
        if (button.button == Button1)
            buttons |= kLButton;
        else if (button.button == Button2)
            buttons |= kMButton;
        else if (button.button == Button3)
            buttons |= kRButton;
        else
            return;
        if (button.state & ShiftMask)
            buttons |= kShift;
        if (button.state & ControlMask)
            buttons |= kControl;
        if (button.state & Mod1Mask)
            buttons |= kAlt;
        events.windowMouseDown(where, buttons);
    }

    void keyEvent(XKeyEvent& event)
    {
        char typed[8] = {};
        KeySym symbol = NoSymbol;
        const int count = XLookupString(&event, typed, sizeof typed - 1, &symbol, nullptr);
        KeyEvent key {};
        key.virtualKey = virtualKey(symbol);
        if (key.virtualKey == 0 && count == 1)
            key.character = static_cast<unsigned char>(typed[0]);
        else if (key.virtualKey == VKEY_SPACE)
            key.character = ' ';
        if (key.virtualKey == 0 && key.character == 0)
            return;
        if (event.state & ShiftMask)
            key.modifiers |= MODIFIER_SHIFT;
        if (event.state & ControlMask)
            key.modifiers |= MODIFIER_CONTROL;
        if (event.state & Mod1Mask)
            key.modifiers |= MODIFIER_ALTERNATE;
        if (event.type == KeyPress)
            events.windowKeyDown(key);
        else
            events.windowKeyUp(key);
    }

    static unsigned char virtualKey(KeySym symbol)
    {
        switch (symbol) {
        case XK_BackSpace: return VKEY_BACK;
        case XK_Tab: return VKEY_TAB;
        case XK_Clear: return VKEY_CLEAR;
        case XK_Return: return VKEY_RETURN;
        case XK_KP_Enter: return VKEY_ENTER;
        case XK_Pause: return VKEY_PAUSE;
        case XK_Escape: return VKEY_ESCAPE;
        case XK_space: return VKEY_SPACE;
        case XK_End: case XK_KP_End: return VKEY_END;
        case XK_Home: case XK_KP_Home: return VKEY_HOME;
        case XK_Left: case XK_KP_Left: return VKEY_LEFT;
        case XK_Up: case XK_KP_Up: return VKEY_UP;
        case XK_Right: case XK_KP_Right: return VKEY_RIGHT;
        case XK_Down: case XK_KP_Down: return VKEY_DOWN;
        case XK_Page_Up: case XK_KP_Page_Up: return VKEY_PAGEUP;
        case XK_Page_Down: case XK_KP_Page_Down: return VKEY_PAGEDOWN;
        case XK_Insert: case XK_KP_Insert: return VKEY_INSERT;
        case XK_Delete: case XK_KP_Delete: return VKEY_DELETE;
        case XK_Help: return VKEY_HELP;
        case XK_Shift_L: case XK_Shift_R: return VKEY_SHIFT;
        case XK_Control_L: case XK_Control_R: return VKEY_CONTROL;
        case XK_Alt_L: case XK_Alt_R: return VKEY_ALT;
        default:
            if (symbol >= XK_F1 && symbol <= XK_F12)
                return static_cast<unsigned char>(VKEY_F1 + (symbol - XK_F1));
            return 0;
        }
    }

    CRect size;                                    // the frame's rectangle
    WindowEvents& events;                          // the frame
    bool ready = false;                            // window, pixmap and drawing made
    bool gone = false;                             // the window was destroyed with its parent
    bool hasFocus = false;                         // the keyboard was directed here
    ::Window previousFocus = None;                 // where the keyboard was before
    std::array<XftFont*, kNumStandardFonts> fonts {};   // opened on first use
};

// Xft takes 16-bit colour components.
XRenderColor renderColor(CColor color)
{
    return {static_cast<unsigned short>(color.red * 257), static_cast<unsigned short>(color.green * 257),
            static_cast<unsigned short>(color.blue * 257), 0xFFFF};
}

void X11DrawDevice::setClip(const CRect& clip)
{
    XRectangle rectangle {static_cast<short>(clip.left), static_cast<short>(clip.top),
                          static_cast<unsigned short>(std::max(0, clip.width())),
                          static_cast<unsigned short>(std::max(0, clip.height()))};
    XSetClipRectangles(window.display, window.gc, 0, 0, &rectangle, 1, Unsorted);
    XftDrawSetClipRectangles(window.xftDraw, 0, 0, &rectangle, 1);
}

void X11DrawDevice::fillRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    XSetForeground(window.display, window.gc, window.format.pixel(color.red, color.green, color.blue));
    XFillRectangle(window.display, window.backBuffer, window.gc, rect.left, rect.top, rect.width(), rect.height());
}

void X11DrawDevice::frameRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    XSetForeground(window.display, window.gc, window.format.pixel(color.red, color.green, color.blue));
    XDrawRectangle(window.display, window.backBuffer, window.gc, rect.left, rect.top, rect.width() - 1,
                   rect.height() - 1);
}

void X11DrawDevice::drawLine(CPoint from, CPoint to, CColor color)
{
    XSetForeground(window.display, window.gc, window.format.pixel(color.red, color.green, color.blue));
    XDrawLine(window.display, window.backBuffer, window.gc, from.x, from.y, to.x, to.y);
}

void X11DrawDevice::drawBitmap(const BitmapData& bitmap, const CRect& dest, CPoint source)
{
    const RgbImage& image = static_cast<const X11Bitmap&>(bitmap).image;
    const int width = std::min(dest.width(), image.width - source.x);
    const int height = std::min(dest.height(), image.height - source.y);
    if (width <= 0 || height <= 0 || source.x < 0 || source.y < 0)
        return;
    XImage* picture = XCreateImage(window.display, window.visual, window.depth, ZPixmap, 0, nullptr, width, height,
                                   32, 0);
    if (!picture)
        return;
    std::vector<char> pixels(static_cast<std::size_t>(picture->bytes_per_line) * height);
    picture->data = pixels.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* rgb = image.at(source.x + x, source.y + y);
            XPutPixel(picture, x, y, window.format.pixel(rgb[0], rgb[1], rgb[2]));
        }
    XPutImage(window.display, window.backBuffer, window.gc, picture, 0, 0, dest.left, dest.top, width, height);
    picture->data = nullptr;   // the vector owns the pixels
    XDestroyImage(picture);
}

FontMetrics X11DrawDevice::fontMetrics(CFontId id)
{
    XftFont* font = window.font(id);
    if (!font)
        return {kFontTable[id].pixelSize * 4 / 5, kFontTable[id].pixelSize / 5};
    return {font->ascent, font->descent};
}

int X11DrawDevice::textWidth(CFontId id, const char* text, std::size_t length)
{
    XftFont* font = window.font(id);
    if (!font || length == 0)
        return 0;
    XGlyphInfo extents {};
    XftTextExtents8(window.display, font, reinterpret_cast<const FcChar8*>(text), static_cast<int>(length), &extents);
    return extents.xOff;
}

void X11DrawDevice::drawText(CFontId id, const char* text, std::size_t length, CPoint origin, CColor color)
{
    XftFont* font = window.font(id);
    if (!font || length == 0)
        return;
    const XRenderColor value = renderColor(color);
    XftColor xftColor {};
    if (!XftColorAllocValue(window.display, window.visual, window.colormap, &value, &xftColor))
        return;
    XftDrawString8(window.xftDraw, &xftColor, font, origin.x, origin.y, reinterpret_cast<const FcChar8*>(text),
                   static_cast<int>(length));
    XftColorFree(window.display, window.visual, window.colormap, &xftColor);
}

} // namespace

std::unique_ptr<WindowBackend> createWindowBackend(void* parent, const CRect& size, WindowEvents& events)
{
    // The host passes the X11 Window id in the pointer.
    const auto parentWindow = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
    if (!parentWindow)
        return nullptr;
    auto window = std::make_unique<X11Window>(parentWindow, size, events);
    if (!window->isReady())
        return nullptr;
    return window;
}

std::unique_ptr<BitmapData> loadBitmapResource(int resourceId)
{
    // No resource section on X11: the module registered its bitmaps as data.
    const EmbeddedBitmap blob = findBitmap(resourceId);
    RgbImage image;
    if (!decodeBmp(blob.data, blob.size, image))
        return nullptr;
    return std::make_unique<X11Bitmap>(std::move(image));
}

bool initializeThread()
{
    return false;
}

void uninitializeThread() {}

} // namespace gui
