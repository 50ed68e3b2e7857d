// The built DLL's editor in a Windows test host under wine64: pixels read back from the screen,
// typing sent to the in-place "EDIT" control as the keyboard delivers it. Skipped without DISPLAY
// (scripts/test-windows runs it under Xvfb).
#include "EditorPicture.h"
#include "EditorStories.h"

#include <windows.h>

namespace {

class Win32Driver : public story::Driver {
public:
    static std::unique_ptr<story::Driver> make()
    {
        return std::getenv("DISPLAY") && *std::getenv("DISPLAY") ? std::make_unique<Win32Driver>() : nullptr;
    }
    Win32Driver()
    {
        WNDCLASSA windowClass {};
        windowClass.lpfnWndProc = &DefWindowProcA;
        windowClass.hbrBackground = CreateSolidBrush(RGB(0x20, 0x30, 0x40));
        windowClass.lpszClassName = "SonquadTestHost";
        RegisterClassA(&windowClass);
        RECT frame {0, 0, 400, 100};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        host = CreateWindowExA(0, "SonquadTestHost", "Sonquad test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(host, SW_SHOWNORMAL);
        SetForegroundWindow(host);
        settle();
    }
    ~Win32Driver() override
    {
        plugin.reset();
        DestroyWindow(host);
        settle();
    }
    VstIntPtr dispatch(VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr) override { return plugin->dispatch(op, index, value, ptr); }
    void* hostWindow() override { return host; }
    void* missingWindow() override { return reinterpret_cast<void*>(0x7FFF0001); }
    void settle() override   // messages, and short waits for Wine and the X server
    {
        for (int i = 0; i < 4; ++i, Sleep(i < 4 ? 20 : 0))
            for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
                TranslateMessage(&message), DispatchMessageA(&message);
    }
    void click(int x, int y, bool right) override
    {
        SendMessageA(editorWindow(), right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(editorWindow(), right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    void type(const std::string& text) override
    {
        for (char c : text)
            SendMessageA(editControl(), WM_CHAR, static_cast<unsigned char>(c), 1);
    }
    void press(story::Key key) override
    {
        const WPARAM code = std::array {VK_RETURN, VK_RETURN, VK_ESCAPE, VK_END, VK_BACK}[static_cast<int>(key)];
        const LPARAM extended = key == story::Key::KeypadEnter ? 1 << 24 : 0;
        SendMessageA(editControl(), WM_KEYDOWN, code, 1 | extended);
        if (key == story::Key::Backspace)
            SendMessageA(editControl(), WM_CHAR, '\b', 1);
        SendMessageA(editControl(), WM_KEYUP, code, 0xC0000001 | extended);
    }
    std::string field() override { return editortest::fieldDigest(capture()); }
    void expectPicture() override
    {
        const char* folder = std::getenv("SONQUAD_SCREENSHOT_DIR");
        editortest::expectBackgroundAndName(capture(folder ? (std::string(folder) + "/editor-wine.bmp").c_str() : nullptr));
    }
    int editorWindows() override
    {
        int count = 0;
        for (HWND child = nullptr; (child = FindWindowExA(host, child, nullptr, nullptr));)
            ++count;
        return count;
    }
    void hostTakesKeyboard() override { SetFocus(host); }
    void closePlugin() override { plugin->close(); }

    HWND editorWindow() const { return FindWindowExA(host, nullptr, nullptr, nullptr); }
    HWND editControl() const { return FindWindowExA(editorWindow(), nullptr, "EDIT", nullptr); }

    // The host window's client area as shown on the screen, written to a bitmap file when asked.
    editortest::Picture capture(const char* saveAs = nullptr)
    {
        settle();
        POINT origin {0, 0};
        ClientToScreen(host, &origin);
        HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
        BITMAPINFO info {{sizeof(BITMAPINFOHEADER), 400, -100, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        std::uint8_t* bits = nullptr;
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        HGDIOBJ previous = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, 400, 100, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        editortest::Picture picture;
        for (int i = 0; i < 400 * 100 * 4; i += 4)
            picture.push_back({bits[i + 2], bits[i + 1], bits[i]});
        if (std::FILE* out = saveAs ? std::fopen(saveAs, "wb") : nullptr) {
            const BITMAPFILEHEADER header {0x4D42, 54 + 160000, 0, 0, 54};
            std::fwrite(&header, 14, 1, out), std::fwrite(&info.bmiHeader, 40, 1, out), std::fwrite(bits, 160000, 1, out);
            std::fclose(out);
        }
        SelectObject(memory, previous);
        DeleteObject(dib);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return picture;
    }

    HWND host = nullptr;
    std::unique_ptr<vsthost::PluginInstance> plugin = editortest::createPlugin();
};

using story::EditorStory;
INSTANTIATE_TEST_SUITE_P(Windows, EditorStory, testing::Values(story::Backend {"Win32", &Win32Driver::make}), story::backendName);

} // namespace
