// The editor of the built DLL in a Windows test host (run under wine64 with an X server): a
// top-level window gets the editor, whose background and name field are read back from the
// screen; text typed into the in-place "EDIT" control renames the program; closing leaves no
// window. Skipped when Wine has no display (DISPLAY unset); scripts/test-windows runs it under
// Xvfb.
#include "EditorPicture.h"
#include "host/LoadedPlugin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using editortest::kWidth;
using editortest::kHeight;
using editortest::Rgb;
using editortest::Picture;
using editortest::insideField;
using editortest::isFieldColor;
using editortest::readBackground;

Picture referenceBackground()
{
    return readBackground(SONQUAD_BACKGROUND_BMP);
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class Win32Editor : public testing::Test {
protected:
    void SetUp() override
    {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            GTEST_SKIP() << "no display for Wine (DISPLAY is not set); scripts/test-windows runs this under Xvfb";
        WNDCLASSA windowClass {};
        windowClass.lpfnWndProc = &hostProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = CreateSolidBrush(RGB(0x20, 0x30, 0x40));
        windowClass.lpszClassName = "SonquadTestHost";
        RegisterClassA(&windowClass);
        RECT frame {0, 0, kWidth, kHeight};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        host = CreateWindowExA(0, "SonquadTestHost", "Sonquad test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        ShowWindow(host, SW_SHOWNORMAL);
        UpdateWindow(host);
        SetForegroundWindow(host);
        settle();
        plugin = testhost::createPlugin();
        ASSERT_NE(plugin, nullptr);
    }

    void TearDown() override
    {
        plugin.reset();
        if (host)
            DestroyWindow(host);
        pumpMessages();
    }

    // Lets Wine and the X server catch up: messages, host idles, a short wait.
    void settle(int rounds = 5)
    {
        for (int i = 0; i < rounds; ++i) {
            pumpMessages();
            if (plugin)
                plugin->dispatch(effEditIdle);
            Sleep(20);
        }
        pumpMessages();
    }

    bool openEditor()
    {
        const bool opened = plugin->dispatch(effEditOpen, 0, 0, host) == 1;
        settle();
        return opened;
    }

    HWND editorWindow() const { return FindWindowExA(host, nullptr, nullptr, nullptr); }

    HWND editControl() const
    {
        HWND frame = editorWindow();
        return frame ? FindWindowExA(frame, nullptr, "EDIT", nullptr) : nullptr;
    }

    // The host window's client area as shown on the screen.
    Picture capture()
    {
        settle(2);
        POINT origin {0, 0};
        ClientToScreen(host, &origin);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;   // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ previous = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, kWidth, kHeight, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        Picture picture;
        picture.width = kWidth;
        picture.height = kHeight;
        const auto* pixel = static_cast<const std::uint8_t*>(bits);
        for (int i = 0; i < kWidth * kHeight; ++i, pixel += 4)
            picture.pixels.push_back({pixel[2], pixel[1], pixel[0]});
        SelectObject(memory, previous);
        DeleteObject(dib);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return picture;
    }

    // A click of the left button at (x, y) of the editor's window.
    void clickEditor(int x, int y)
    {
        HWND frame = editorWindow();
        ASSERT_NE(frame, nullptr);
        SendMessageA(frame, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(frame, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        settle(2);
    }

    // Characters as the keyboard delivers them to the control that has the focus.
    void typeInto(HWND control, const std::string& text)
    {
        for (char c : text)
            SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
        settle(1);
    }

    void pressKey(HWND control, WPARAM key)
    {
        SendMessageA(control, WM_KEYDOWN, key, 1);
        SendMessageA(control, WM_KEYUP, key, 0xC0000001);
        settle(2);
    }

    HWND host = nullptr;
    std::unique_ptr<vsthost::PluginInstance> plugin;
};

void saveBmp(const Picture& picture, const std::string& path)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return;
    const int row = picture.width * 3;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(row * picture.height);
    const std::uint32_t fileSize = 54 + imageSize;
    unsigned char header[54] = {'B', 'M'};
    auto put32 = [&](int at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            header[at + k] = static_cast<unsigned char>(v >> (8 * k));
    };
    put32(2, fileSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(picture.width));
    put32(22, static_cast<std::uint32_t>(picture.height));
    header[26] = 1;
    header[28] = 24;
    put32(34, imageSize);
    std::fwrite(header, 1, sizeof header, out);
    for (int y = picture.height - 1; y >= 0; --y)
        for (int x = 0; x < picture.width; ++x) {
            const Rgb p = picture.at(x, y);
            const unsigned char bgr[3] = {p.b, p.g, p.r};
            std::fwrite(bgr, 1, 3, out);
        }
    std::fclose(out);
}

TEST_F(Win32Editor, OpensAChildWindowOfItsOwnClassAndDrawsBackgroundAndField)
{
    ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->bottom, 100);
    EXPECT_EQ(rect->right, 400);

    ASSERT_TRUE(openEditor());
    HWND frame = editorWindow();
    ASSERT_NE(frame, nullptr);
    char className[64] = {};
    GetClassNameA(frame, className, sizeof className);
    EXPECT_EQ(std::string(className).rfind("Plugin", 0), 0u) << className;
    EXPECT_TRUE(GetWindowLongA(frame, GWL_STYLE) & WS_CHILD);
    RECT client {};
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 100);

    const Picture reference = referenceBackground();
    ASSERT_EQ(reference.width, kWidth);
    const Picture shown = capture();
    if (const char* folder = std::getenv("SONQUAD_SCREENSHOT_DIR"))
        saveBmp(shown, std::string(folder) + "/editor-wine.bmp");
    int backgroundDifferences = 0, textPixels = 0, fieldPixels = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb p = shown.at(x, y);
            if (insideField(x, y)) {
                ++fieldPixels;
                textPixels += !isFieldColor(p);
            } else {
                backgroundDifferences += !(p == reference.at(x, y));
            }
        }
    EXPECT_EQ(backgroundDifferences, 0) << "the background outside the field is the picture, pixel for pixel";
    EXPECT_GT(textPixels, 60) << "the program's name is written in the field";
    EXPECT_LT(textPixels, fieldPixels / 2) << "the rest of the field has the field colour";
}

TEST_F(Win32Editor, TypingIntoTheEditControlAndEnterRenamesTheProgram)
{
    ASSERT_TRUE(openEditor());
    clickEditor(140, 60);
    HWND edit = editControl();
    ASSERT_NE(edit, nullptr) << "a click on the field opens the EDIT control";
    char shown[64] = {};
    GetWindowTextA(edit, shown, sizeof shown);
    EXPECT_STREQ(shown, "Quaddle - uncalibrated");
    typeInto(edit, "Wine Take 1");   // replaces the selected text
    pressKey(edit, VK_RETURN);
    EXPECT_EQ(plugin->programName(), "Wine Take 1");
    EXPECT_FALSE(IsWindowVisible(edit));

    // Forty characters come back cut to 23.
    clickEditor(140, 60);
    edit = editControl();
    ASSERT_NE(edit, nullptr);
    const std::string typed = "abcdefghij klmnopqrst ABCDEFGHIJ KLMNOPQ";
    typeInto(edit, typed);
    pressKey(edit, VK_RETURN);
    EXPECT_EQ(plugin->programName(), typed.substr(0, 23));
}

TEST_F(Win32Editor, EscapeCancelsAndHostKeysReachTheControl)
{
    ASSERT_TRUE(openEditor());
    clickEditor(140, 60);
    HWND edit = editControl();
    ASSERT_NE(edit, nullptr);
    typeInto(edit, "Nope");
    pressKey(edit, VK_ESCAPE);
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");

    clickEditor(140, 60);
    for (char c : std::string("Hosted"))
        EXPECT_EQ(plugin->dispatch(effEditKeyDown, c, 0), 1) << c;
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 4 /* VKEY_RETURN */), 1);
    settle(2);
    EXPECT_EQ(plugin->programName(), "Hosted");
}

TEST_F(Win32Editor, FollowsProgramChangesAtIdle)
{
    ASSERT_TRUE(openEditor());
    const Picture first = capture();
    plugin->dispatch(effSetProgram, 0, 1);
    settle();
    const Picture second = capture();
    EXPECT_NE(first, second);
    plugin->dispatch(effSetProgram, 0, 0);
    settle();
    EXPECT_EQ(capture(), first);
}

TEST_F(Win32Editor, ClosesAndReopensAndEffCloseLeavesNoWindow)
{
    ASSERT_TRUE(openEditor());
    ASSERT_NE(editorWindow(), nullptr);
    plugin->dispatch(effEditClose);
    pumpMessages();
    EXPECT_EQ(editorWindow(), nullptr);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(editorWindow(), nullptr);
    ASSERT_TRUE(openEditor());
    EXPECT_NE(editorWindow(), nullptr);
    EXPECT_EQ(plugin->close(), 1);
    pumpMessages();
    EXPECT_EQ(editorWindow(), nullptr);
}

TEST_F(Win32Editor, RefusesAWindowThatDoesNotExist)
{
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x7FFF0001)), 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
}

} // namespace
