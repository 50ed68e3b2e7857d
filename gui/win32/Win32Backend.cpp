// The Win32 back end: the frame is a child window of the host's HWND, of its own window class
// "Plugin%p"; it draws with GDI into a memory bitmap that WM_PAINT and the frame's idle copy to
// the window. Text is edited in place in a Win32 "EDIT" control. AlphaBlend and TransparentBlt are
// looked up in "msimg32.dll" at run time, and the window registers a drop target (OLE drag and
// drop; drops are refused, nothing in the editor takes files).
//
// Threads: the host's user-interface thread, whose message loop delivers the window's messages.
#include "gui/Backend.h"
#include "platform/platform.h"

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace gui {

namespace {

// Ends an edit of the text control from the frame's message loop: wParam 1 confirms, 0 cancels;
// lParam names the edit, so a late message cannot end a newer one.
constexpr UINT kEndEditMessage = WM_APP + 0x51;

using AlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using TransparentBltProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);

HINSTANCE moduleInstance()
{
    auto instance = static_cast<HINSTANCE>(platform::moduleHandle());
    return instance ? instance : GetModuleHandleA(nullptr);
}

COLORREF colorRef(CColor color)
{
    return RGB(color.red, color.green, color.blue);
}

class Win32Bitmap : public BitmapData {
public:
    Win32Bitmap(HBITMAP bitmap, const BITMAP& info) : bitmap(bitmap), info(info) {}
    ~Win32Bitmap() override { DeleteObject(bitmap); }
    int width() const override { return info.bmWidth; }
    int height() const override { return info.bmHeight; }

    HBITMAP bitmap;   // the loaded resource, owned
    BITMAP info;      // its size and pixel format
};

// A drop target that refuses every drop: registering one keeps the shell's drag feedback honest
// over the editor.
class DropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }

private:
    virtual ~DropTarget() = default;
    ULONG references = 1;   // COM references
};

class Win32Window;

class Win32TextField : public NativeTextField {
public:
    Win32TextField(Win32Window& window, const CRect& rect, const char* text, const TextFieldStyle& style,
                   NativeTextFieldClient& client, LPARAM id);
    ~Win32TextField() override;

    bool isValid() const { return edit != nullptr; }
    bool handleKey(const KeyEvent& key) override;
    void confirm() override { finish(true); }
    void finish(bool confirmed);

    HWND edit = nullptr;      // the EDIT control, a child of the frame's window
    CColor fontColor;         // text colour, answered to WM_CTLCOLOREDIT
    CColor backColor;         // field colour, likewise
    HBRUSH backBrush = nullptr;   // backColor as a brush, owned
    LPARAM id;                // names this edit in kEndEditMessage

private:
    static LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Win32Window& window;              // the frame's window, the control's parent
    NativeTextFieldClient& client;    // the text view that hears the result
    WNDPROC originalProc = nullptr;   // the EDIT class's own procedure
    bool finished = false;            // the result was reported
};

class Win32DrawDevice : public DrawDevice {
public:
    explicit Win32DrawDevice(Win32Window& window);
    ~Win32DrawDevice() override;

    void setClip(const CRect& clip) override;
    void fillRect(const CRect& rect, CColor color) override;
    void frameRect(const CRect& rect, CColor color) override;
    void drawLine(CPoint from, CPoint to, CColor color) override;
    void drawBitmap(const BitmapData& bitmap, const CRect& dest, CPoint source) override;
    FontMetrics fontMetrics(CFontId font) override;
    int textWidth(CFontId font, const char* text, std::size_t length) override;
    void drawText(CFontId font, const char* text, std::size_t length, CPoint origin, CColor color) override;

private:
    Win32Window& window;          // fonts and msimg32 functions
    HDC dc;                       // the back buffer's memory context
    HGDIOBJ originalFont;         // selected back at the end
};

class Win32Window : public WindowBackend {
public:
    Win32Window(HWND parent, const CRect& size, WindowEvents& events) : size(size), events(events)
    {
        if (!IsWindow(parent) || size.isEmpty())
            return;
        instance = moduleInstance();
        std::snprintf(className, sizeof className, "Plugin%p", static_cast<void*>(this));
        WNDCLASSA windowClass {};
        windowClass.lpfnWndProc = &Win32Window::windowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.lpszClassName = className;
        if (!RegisterClassA(&windowClass))
            return;
        classRegistered = true;
        hwnd = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, size.left,
                               size.top, size.width(), size.height(), parent, nullptr, instance, this);
        if (!hwnd)
            return;
        HDC windowDc = GetDC(hwnd);
        backDc = CreateCompatibleDC(windowDc);
        backBitmap = CreateCompatibleBitmap(windowDc, size.width(), size.height());
        ReleaseDC(hwnd, windowDc);
        if (!backDc || !backBitmap)
            return;
        originalBitmap = SelectObject(backDc, backBitmap);

        msimg32 = LoadLibraryA("msimg32.dll");
        if (msimg32) {
            alphaBlend = reinterpret_cast<AlphaBlendProc>(reinterpret_cast<void*>(GetProcAddress(msimg32, "AlphaBlend")));
            transparentBlt = reinterpret_cast<TransparentBltProc>(
                reinterpret_cast<void*>(GetProcAddress(msimg32, "TransparentBlt")));
        }
        dropTarget = new DropTarget;
        // Fails without OLE on the thread; the editor then simply takes no drops.
        dropRegistered = RegisterDragDrop(hwnd, dropTarget) == S_OK;
        ready = true;
    }

    ~Win32Window() override
    {
        if (hwnd) {
            if (dropRegistered)
                RevokeDragDrop(hwnd);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            DestroyWindow(hwnd);
        }
        if (dropTarget)
            dropTarget->Release();
        if (backDc) {
            if (originalBitmap)
                SelectObject(backDc, originalBitmap);
            DeleteDC(backDc);
        }
        if (backBitmap)
            DeleteObject(backBitmap);
        for (HFONT& font : fonts)
            if (font)
                DeleteObject(font);
        if (msimg32)
            FreeLibrary(msimg32);
        if (classRegistered)
            UnregisterClassA(className, instance);
    }

    bool isReady() const { return ready; }

    void processEvents() override {}   // the host's message loop delivers them

    void redraw(const CRect& area) override
    {
        if (!ready)
            return;
        HDC dc = GetDC(hwnd);
        paint(dc, area);
        ReleaseDC(hwnd, dc);
    }

    bool cursorPosition(CPoint& where) override
    {
        POINT point;
        if (!ready || !GetCursorPos(&point) || !ScreenToClient(hwnd, &point))
            return false;
        where = {point.x, point.y};
        return true;
    }

    // The EDIT control takes the keyboard itself.
    void takeKeyboardFocus() override {}
    void releaseKeyboardFocus() override {}

    std::unique_ptr<NativeTextField> createTextField(const CRect& rect, const char* text, const TextFieldStyle& style,
                                                     NativeTextFieldClient& client) override
    {
        if (!ready)
            return nullptr;
        auto field = std::make_unique<Win32TextField>(*this, rect, text, style, client, ++editCount);
        if (!field->isValid())
            return nullptr;
        activeField = field.get();
        return field;
    }

    void dispatchPendingPaint() override
    {
        MSG message;
        if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageA(&message);
    }

    HFONT font(CFontId id)
    {
        if (id < 0 || id >= kNumStandardFonts)
            id = kNormalFont;
        if (!fonts[id]) {
            const CFontDesc& desc = kFontTable[id];
            fonts[id] = CreateFontA(-desc.pixelSize, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                    id == kSymbolFont ? SYMBOL_CHARSET : ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, desc.face);
        }
        return fonts[id];
    }

    HWND hwnd = nullptr;                       // the frame's window
    HDC backDc = nullptr;                      // memory context of the back buffer
    AlphaBlendProc alphaBlend = nullptr;       // from msimg32.dll, may be null
    TransparentBltProc transparentBlt = nullptr;
    Win32TextField* activeField = nullptr;     // the edit in progress, not owned

private:
    void paint(HDC dc, const CRect& area)
    {
        const CRect clip = area.intersection({0, 0, size.width(), size.height()});
        if (clip.isEmpty())
            return;
        {
            Win32DrawDevice device(*this);
            events.windowPaint(device, clip);
        }
        SelectClipRgn(backDc, nullptr);
        BitBlt(dc, clip.left, clip.top, clip.width(), clip.height(), backDc, clip.left, clip.top, SRCCOPY);
    }

    static long buttonState(WPARAM wParam)
    {
        long buttons = 0;
        if (wParam & MK_LBUTTON)
            buttons |= kLButton;
        if (wParam & MK_MBUTTON)
            buttons |= kMButton;
        if (wParam & MK_RBUTTON)
            buttons |= kRButton;
        if (wParam & MK_SHIFT)
            buttons |= kShift;
        if (wParam & MK_CONTROL)
            buttons |= kControl;
        if (GetKeyState(VK_MENU) < 0)
            buttons |= kAlt;
        return buttons;
    }

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self || !self->ready)
            return DefWindowProcA(hwnd, message, wParam, lParam);
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            self->paint(dc, {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;   // every pixel is painted from the back buffer
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
            self->events.windowMouseDown({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))},
                                         buttonState(wParam) | (message == WM_LBUTTONDOWN   ? kLButton
                                                                : message == WM_MBUTTONDOWN ? kMButton
                                                                                            : kRButton));
            return 0;
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP:
            self->events.windowMouseUp({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))},
                                       buttonState(wParam));
            return 0;
        case WM_MOUSEWHEEL: {
            // Wheel positions come in screen coordinates.
            POINT point {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ScreenToClient(hwnd, &point);
            const float notches = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
            if (self->events.windowWheel({point.x, point.y}, notches))
                return 0;
            break;
        }
        case WM_CTLCOLOREDIT:
            if (self->activeField && reinterpret_cast<HWND>(lParam) == self->activeField->edit) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, colorRef(self->activeField->fontColor));
                SetBkColor(dc, colorRef(self->activeField->backColor));
                return reinterpret_cast<LRESULT>(self->activeField->backBrush);
            }
            break;
        case kEndEditMessage:
            if (self->activeField && self->activeField->id == lParam)
                self->activeField->finish(wParam != 0);
            return 0;
        default:
            break;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    CRect size;                               // the frame's rectangle
    WindowEvents& events;                     // the frame
    HINSTANCE instance = nullptr;             // module that registered the class
    char className[40] = {};                  // "Plugin%p" of this window object
    bool classRegistered = false;             // className is to be unregistered
    bool ready = false;                       // window and back buffer made
    HBITMAP backBitmap = nullptr;             // the frame's pixels
    HGDIOBJ originalBitmap = nullptr;         // selected back before deleting the context
    HMODULE msimg32 = nullptr;                // holds AlphaBlend and TransparentBlt
    DropTarget* dropTarget = nullptr;         // one COM reference
    bool dropRegistered = false;              // dropTarget is registered with the window
    std::array<HFONT, kNumStandardFonts> fonts {};   // made on first use
    LPARAM editCount = 0;                     // edits started, names the latest
};

Win32TextField::Win32TextField(Win32Window& window, const CRect& rect, const char* text, const TextFieldStyle& style,
                               NativeTextFieldClient& client, LPARAM id)
    : fontColor(style.fontColor), backColor(style.backColor), id(id), window(window), client(client)
{
    edit = CreateWindowExA(0, "EDIT", text ? text : "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_CENTER, rect.left,
                           rect.top, rect.width(), rect.height(), window.hwnd, nullptr, moduleInstance(), nullptr);
    if (!edit)
        return;
    backBrush = CreateSolidBrush(colorRef(backColor));
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(window.font(style.font)), FALSE);
    SendMessageA(edit, EM_LIMITTEXT, 255, 0);
    SetWindowLongPtrA(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    originalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32TextField::editProc)));
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);   // typing replaces the whole text
}

Win32TextField::~Win32TextField()
{
    finished = true;
    if (window.activeField == this)
        window.activeField = nullptr;
    if (edit) {
        if (originalProc)
            SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc));
        DestroyWindow(edit);
    }
    if (backBrush)
        DeleteObject(backBrush);
}

void Win32TextField::finish(bool confirmed)
{
    if (finished)
        return;
    finished = true;
    if (window.activeField == this)
        window.activeField = nullptr;
    char text[256] = {};
    GetWindowTextA(edit, text, sizeof text);
    ShowWindow(edit, SW_HIDE);
    client.nativeEditEnded(text, confirmed);   // may retire this field; nothing of it is used after
}

bool Win32TextField::handleKey(const KeyEvent& key)
{
    if (finished)
        return false;
    switch (key.virtualKey) {
    case VKEY_RETURN:
    case VKEY_ENTER:
        finish(true);
        return true;
    case VKEY_ESCAPE:
        finish(false);
        return true;
    case VKEY_BACK:
        SendMessageA(edit, WM_CHAR, '\b', 0);
        return true;
    case VKEY_SPACE:
        SendMessageA(edit, WM_CHAR, ' ', 0);
        return true;
    default:
        break;
    }
    static constexpr std::pair<unsigned char, WPARAM> moves[] = {
        {VKEY_DELETE, VK_DELETE}, {VKEY_LEFT, VK_LEFT}, {VKEY_RIGHT, VK_RIGHT}, {VKEY_HOME, VK_HOME}, {VKEY_END, VK_END}};
    for (const auto& [virt, windowsKey] : moves)
        if (key.virtualKey == virt) {
            SendMessageA(edit, WM_KEYDOWN, windowsKey, 1);
            SendMessageA(edit, WM_KEYUP, windowsKey, 0xC0000001);
            return true;
        }
    const std::int32_t c = key.character;
    if (key.virtualKey == 0 && !(key.modifiers & (MODIFIER_CONTROL | MODIFIER_COMMAND)) && ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))) {
        SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
        return true;
    }
    return false;
}

LRESULT CALLBACK Win32TextField::editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Win32TextField*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    // The edit ends through the frame's message loop, never from inside the control's own
    // procedure, which must not see itself destroyed.
    const HWND frameWindow = self->window.hwnd;
    switch (message) {
    case WM_GETDLGCODE:
        // Hosts that run dialogs must hand Enter and Escape to the field.
        return DLGC_WANTALLKEYS | CallWindowProcA(self->originalProc, hwnd, message, wParam, lParam);
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            if (!self->finished)
                PostMessageA(frameWindow, kEndEditMessage, wParam == VK_RETURN ? 1 : 0, self->id);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == 27 || wParam == '\n')
            return 0;   // no beep for the keys that end the edit
        break;
    case WM_KILLFOCUS:
        // The keyboard went elsewhere: the edit is confirmed.
        if (!self->finished)
            PostMessageA(frameWindow, kEndEditMessage, 1, self->id);
        break;
    default:
        break;
    }
    return CallWindowProcA(self->originalProc, hwnd, message, wParam, lParam);
}

Win32DrawDevice::Win32DrawDevice(Win32Window& window)
    : window(window), dc(window.backDc), originalFont(GetCurrentObject(window.backDc, OBJ_FONT))
{
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
}

Win32DrawDevice::~Win32DrawDevice()
{
    SelectObject(dc, originalFont);
}

void Win32DrawDevice::setClip(const CRect& clip)
{
    HRGN region = CreateRectRgn(clip.left, clip.top, std::max(clip.left, clip.right), std::max(clip.top, clip.bottom));
    SelectClipRgn(dc, region);   // copies the region
    DeleteObject(region);
}

void Win32DrawDevice::fillRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    HBRUSH brush = CreateSolidBrush(colorRef(color));
    const RECT r {rect.left, rect.top, rect.right, rect.bottom};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void Win32DrawDevice::frameRect(const CRect& rect, CColor color)
{
    if (rect.isEmpty())
        return;
    HBRUSH brush = CreateSolidBrush(colorRef(color));
    const RECT r {rect.left, rect.top, rect.right, rect.bottom};
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
}

void Win32DrawDevice::drawLine(CPoint from, CPoint to, CColor color)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colorRef(color));
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
    SetPixel(dc, to.x, to.y, colorRef(color));   // GDI leaves out the last pixel; X11 draws it
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void Win32DrawDevice::drawBitmap(const BitmapData& data, const CRect& dest, CPoint source)
{
    const auto& bitmap = static_cast<const Win32Bitmap&>(data);
    const int width = std::min(dest.width(), bitmap.width() - source.x);
    const int height = std::min(dest.height(), bitmap.height() - source.y);
    if (width <= 0 || height <= 0 || source.x < 0 || source.y < 0)
        return;
    HDC bitmapDc = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(bitmapDc, bitmap.bitmap);
    if (bitmap.info.bmBitsPixel == 32 && window.alphaBlend) {
        // 32-bit resources carry their own (premultiplied) alpha.
        const BLENDFUNCTION blend {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        window.alphaBlend(dc, dest.left, dest.top, width, height, bitmapDc, source.x, source.y, width, height, blend);
    } else {
        BitBlt(dc, dest.left, dest.top, width, height, bitmapDc, source.x, source.y, SRCCOPY);
    }
    SelectObject(bitmapDc, previous);
    DeleteDC(bitmapDc);
}

FontMetrics Win32DrawDevice::fontMetrics(CFontId id)
{
    SelectObject(dc, window.font(id));
    TEXTMETRICA metrics {};
    if (!GetTextMetricsA(dc, &metrics))
        return {kFontTable[id].pixelSize * 4 / 5, kFontTable[id].pixelSize / 5};
    return {metrics.tmAscent, metrics.tmDescent};
}

int Win32DrawDevice::textWidth(CFontId id, const char* text, std::size_t length)
{
    if (length == 0)
        return 0;
    SelectObject(dc, window.font(id));
    SIZE extent {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(length), &extent);
    return extent.cx;
}

void Win32DrawDevice::drawText(CFontId id, const char* text, std::size_t length, CPoint origin, CColor color)
{
    if (length == 0)
        return;
    SelectObject(dc, window.font(id));
    SetTextColor(dc, colorRef(color));
    TextOutA(dc, origin.x, origin.y, text, static_cast<int>(length));
}

} // namespace

std::unique_ptr<WindowBackend> createWindowBackend(void* parent, const CRect& size, WindowEvents& events)
{
    auto window = std::make_unique<Win32Window>(static_cast<HWND>(parent), size, events);
    if (!window->isReady())
        return nullptr;
    return window;
}

std::unique_ptr<BitmapData> loadBitmapResource(int resourceId)
{
    HBITMAP bitmap = LoadBitmapA(moduleInstance(), MAKEINTRESOURCEA(resourceId));
    if (!bitmap)
        return nullptr;
    BITMAP info {};
    if (!GetObjectA(bitmap, sizeof info, &info)) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return std::make_unique<Win32Bitmap>(bitmap, info);
}

bool initializeThread()
{
    // S_OK and S_FALSE (already initialised) both want the matching OleUninitialize; a thread
    // set up for the multi-threaded model refuses, and then nothing is to be undone.
    const HRESULT result = OleInitialize(nullptr);
    return result == S_OK || result == S_FALSE;
}

void uninitializeThread()
{
    OleUninitialize();
}

} // namespace gui
