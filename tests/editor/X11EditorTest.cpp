// The built module's editor in a real X server, as a host and a person use it: clicks and typing
// through XTEST, pixels read back. Skipped without DISPLAY (scripts/test-editor runs it in Xvfb).
#include "EditorPicture.h"
#include "EditorStories.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrender.h>
#include <X11/keysym.h>

namespace {

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*) { return ++hostErrors, 0; }

// A host's top-level window with the keyboard focus and an error handler of its own.
class X11Driver : public story::Driver {
public:
    static std::unique_ptr<story::Driver> make()
    {
        return std::getenv("DISPLAY") && *std::getenv("DISPLAY") ? std::make_unique<X11Driver>() : nullptr;
    }
    X11Driver()
    {
        for (int attempt = 0; attempt < 3 && !display; ++attempt)   // a loaded Xvfb drops one now and then
            display = XOpenDisplay(nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        EXPECT_TRUE(display && XTestQueryExtension(display, &event, &error, &major, &minor)) << "no display with XTEST";
        EXPECT_EQ(DefaultDepth(display, DefaultScreen(display)), 24) << "run the server with a 24-bit screen";
        host = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 400, 100, 0, 0, 0x203040);
        XSelectInput(display, host, StructureNotifyMask);
        XMapRaised(display, host);
        for (XEvent event; XNextEvent(display, &event), event.type != MapNotify;) {
        }
        hostTakesKeyboard();
        previousHandler = XSetErrorHandler(&countHostError);
        hostErrors = 0;
    }
    ~X11Driver() override
    {
        plugin.reset();
        XSetErrorHandler(previousHandler);
        if (host)
            XDestroyWindow(display, host);
        XCloseDisplay(display);
    }
    // The host's own error handler is still in place and saw none of the editor's errors; a
    // connection the host opens next, often where the editor's last one was, finds nothing of it.
    void finish() override
    {
        EXPECT_EQ(XSetErrorHandler(&countHostError), &countHostError);
        EXPECT_EQ(hostErrors, 0);
        Display* next = XOpenDisplay(nullptr);
        EXPECT_NE(XRenderFindVisualFormat(next, DefaultVisual(next, DefaultScreen(next))), nullptr);
        XCloseDisplay(next);
    }
    VstIntPtr dispatch(VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr) override { return plugin->dispatch(op, index, value, ptr); }
    void* hostWindow() override { return reinterpret_cast<void*>(host); }
    void* missingWindow() override { return reinterpret_cast<void*>(host + 0x1000); }
    void settle() override { XSync(display, False); }
    void click(int x, int y, bool right) override
    {
        ::Window child = 0;
        XTranslateCoordinates(display, host, DefaultRootWindow(display), x, y, &x, &y, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
        XTestFakeButtonEvent(display, right ? 3 : 1, True, CurrentTime);
        XTestFakeButtonEvent(display, right ? 3 : 1, False, CurrentTime);
        XSync(display, False);
    }
    void type(const std::string& text) override   // with Shift where the character needs it
    {
        for (char c : text) {
            const KeySym symbol = c == ' ' ? XK_space : c == '-' ? XK_minus : static_cast<KeySym>(c);
            pressKey(symbol, XkbKeycodeToKeysym(display, XKeysymToKeycode(display, symbol), 0, 0) != symbol);
        }
    }
    void press(story::Key key) override
    {
        pressKey(std::array {XK_Return, XK_KP_Enter, XK_Escape, XK_End, XK_BackSpace}[static_cast<int>(key)], false);
    }
    std::string field() override { return editortest::fieldDigest(capture()); }
    void expectPicture() override
    {
        const editortest::Picture shown = capture();
        const char* folder = std::getenv("SONQUAD_SCREENSHOT_DIR");
        if (std::FILE* out = folder ? std::fopen((std::string(folder) + "/editor-x11.ppm").c_str(), "wb") : nullptr)
            std::fprintf(out, "P6\n400 100\n255\n"), std::fwrite(shown.data(), 3, 40000, out), std::fclose(out);
        editortest::expectBackgroundAndName(shown);
    }
    int editorWindows() override
    {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, host, &root, &parent, &children, &count);
        return children ? XFree(children) : 0, static_cast<int>(count);
    }
    std::optional<bool> hostHasKeyboard() override
    {
        ::Window focus = 0;
        int revert = 0;
        return XGetInputFocus(display, &focus, &revert), focus == host;
    }
    void hostTakesKeyboard() override { XSetInputFocus(display, host, RevertToParent, CurrentTime), XSync(display, False); }
    void closePlugin() override { plugin->close(); }

    editortest::Picture capture()   // the host window, the editor's window in it
    {
        XImage* image = XGetImage(display, host, 0, 0, 400, 100, AllPlanes, ZPixmap);
        editortest::Picture picture;
        for (int i = 0; image && i < 400 * 100; ++i) {
            const unsigned long pixel = XGetPixel(image, i % 400, i / 400);
            picture.push_back({std::uint8_t(pixel >> 16), std::uint8_t(pixel >> 8), std::uint8_t(pixel)});
        }
        return image ? XDestroyImage(image) : 0, picture;
    }

    Display* display = nullptr;
    ::Window host = 0;
    std::unique_ptr<vsthost::PluginInstance> plugin = editortest::createPlugin();

private:
    void pressKey(KeySym symbol, bool shifted)
    {
        const KeyCode code = XKeysymToKeycode(display, symbol), shift = XKeysymToKeycode(display, XK_Shift_L);
        for (auto [key, down] : {std::pair {shift, true}, {code, true}, {code, false}, {shift, false}})
            if (key == code || shifted)
                XTestFakeKeyEvent(display, key, down, CurrentTime);
        XSync(display, False);
    }
    XErrorHandler previousHandler = nullptr;
};

using story::EditorStory;
INSTANTIATE_TEST_SUITE_P(Xlib, EditorStory, testing::Values(story::Backend {"X11", &X11Driver::make}), story::backendName);

} // namespace
