// The editor of the built module in a real X server, driven as a host and a person would: a host
// window gets the editor and reads its pixels back; clicks and typing come through the XTEST
// extension. Skipped when no display is set (scripts/test-editor runs it under Xvfb).
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

// A host's top-level window with the keyboard focus, its own error handler, and the plug-in.
class X11Driver : public story::Driver {
public:
    static std::unique_ptr<story::Driver> make()
    {
        const char* name = std::getenv("DISPLAY");
        return name && *name ? std::make_unique<X11Driver>() : nullptr;
    }
    X11Driver()
    {
        for (int attempt = 0; attempt < 3 && !display; ++attempt)   // Xvfb, loaded, drops one now and then
            display = XOpenDisplay(nullptr);
        if (!display) {
            ADD_FAILURE() << "cannot open the display";
            return;
        }
        int event = 0, error = 0, major = 0, minor = 0;
        EXPECT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor)) << "the X server has no XTEST";
        EXPECT_EQ(DefaultDepth(display, DefaultScreen(display)), 24) << "run the server with a 24-bit screen";
        host = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, editortest::kWidth, editortest::kHeight,
                                   0, 0, 0x203040);
        XSelectInput(display, host, StructureNotifyMask);
        XMapRaised(display, host);
        for (XEvent event; XNextEvent(display, &event), event.type != MapNotify;) {
        }
        hostTakesKeyboard();
        previousHandler = XSetErrorHandler(&countHostError);
        hostErrors = 0;
        plugin = editortest::createPlugin();
    }
    ~X11Driver() override
    {
        plugin.reset();
        if (!display)
            return;
        XSetErrorHandler(previousHandler);
        if (host)
            XDestroyWindow(display, host);
        XCloseDisplay(display);
    }
    // The host's own error handler is still in place and saw none of the editor's errors.
    void finish() override
    {
        XSync(display, False);
        EXPECT_EQ(XSetErrorHandler(&countHostError), &countHostError);
        EXPECT_EQ(hostErrors, 0);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr) override
    {
        return plugin ? plugin->dispatch(opcode, index, value, ptr) : 0;
    }
    void* hostWindow() override { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(host)); }
    void* missingWindow() override { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(host + 0x1000)); }
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
        static constexpr KeySym kSymbols[] = {XK_Return, XK_KP_Enter, XK_Escape, XK_End, XK_BackSpace};
        pressKey(kSymbols[static_cast<int>(key)], false);
    }
    std::string field() override { return editortest::fieldDigest(capture()); }
    int editorWindows() override
    {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!host || !XQueryTree(display, host, &root, &parent, &children, &count))
            return -1;
        return children ? XFree(children) : 0, static_cast<int>(count);
    }
    std::optional<bool> hostHasKeyboard() override
    {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        return focus == host;
    }
    void hostTakesKeyboard() override { XSetInputFocus(display, host, RevertToParent, CurrentTime), XSync(display, False); }
    void closePlugin() override { plugin->close(); }

    editortest::Picture capture()   // the host window's pixels, the editor's window in them
    {
        XSync(display, False);
        editortest::Picture picture {editortest::kWidth, editortest::kHeight, {}};
        XImage* image = XGetImage(display, host, 0, 0, picture.width, picture.height, AllPlanes, ZPixmap);
        for (int y = 0; image && y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                picture.pixels.push_back({static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
                                          static_cast<std::uint8_t>(pixel)});
            }
        return image ? XDestroyImage(image) : 0, picture;
    }

    Display* display = nullptr;
    ::Window host = 0;
    std::unique_ptr<vsthost::PluginInstance> plugin;

private:
    void pressKey(KeySym symbol, bool shifted)
    {
        const KeyCode code = XKeysymToKeycode(display, symbol), shift = XKeysymToKeycode(display, XK_Shift_L);
        ASSERT_NE(code, 0) << "no key for keysym " << symbol;
        for (auto [key, down] : {std::pair {shift, true}, {code, true}, {code, false}, {shift, false}})
            if (key == code || shifted)
                XTestFakeKeyEvent(display, key, down, CurrentTime);
        XSync(display, False);
    }
    XErrorHandler previousHandler = nullptr;
};

using story::EditorStory;
INSTANTIATE_TEST_SUITE_P(Xlib, EditorStory, testing::Values(story::Backend {"X11", &X11Driver::make}), story::backendName);

// Smoke tests of the X11 window system: what the screen shows, and the host's own use of X.
class X11Editor : public testing::Test {
protected:
    void SetUp() override
    {
        if (!made)
            GTEST_SKIP() << "no X display (DISPLAY is not set); scripts/test-editor runs this under Xvfb";
        ASSERT_TRUE(open());
    }
    bool open() { return driver->dispatch(effEditOpen, 0, 0, driver->hostWindow()) == 1 && driver->dispatch(effEditIdle, 0, 0, nullptr) >= 0; }
    std::unique_ptr<story::Driver> made = X11Driver::make();
    X11Driver* driver = static_cast<X11Driver*>(made.get());
};

TEST_F(X11Editor, DrawsTheBackgroundAndTheProgramNameInTheField)
{
    const editortest::Picture shown = driver->capture();
    if (const char* folder = std::getenv("SONQUAD_SCREENSHOT_DIR"))
        if (std::FILE* out = std::fopen((std::string(folder) + "/editor-x11.ppm").c_str(), "wb"))
            std::fprintf(out, "P6\n%d %d\n255\n", shown.width, shown.height),
                std::fwrite(shown.pixels.data(), 3, shown.pixels.size(), out), std::fclose(out);
    editortest::expectBackgroundAndName(shown);
    driver->finish();
}

// Each open has a display connection of its own, often at the address of the one before: no state
// of a closed connection (fonts, the render extension's records) may leak into the editor's next
// connection or into the one the host opens next.
TEST_F(X11Editor, ReopensManyTimesAndLeavesNoRecordOfItsConnectionsForTheHost)
{
    const std::string first = driver->field();
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        driver->dispatch(effEditClose, 0, 0, nullptr);
        Display* next = XOpenDisplay(nullptr);
        ASSERT_NE(next, nullptr);
        int event = 0, error = 0;
        EXPECT_TRUE(XRenderQueryExtension(next, &event, &error) && XRenderQueryVersion(next, &event, &error));
        EXPECT_NE(XRenderFindVisualFormat(next, DefaultVisual(next, DefaultScreen(next))), nullptr);
        XCloseDisplay(next);
        ASSERT_TRUE(open());
        ASSERT_EQ(driver->field(), first);
    }
    driver->finish();
}

TEST_F(X11Editor, SurvivesTheHostDestroyingItsWindowBeforeClosingTheEditor)
{
    XDestroyWindow(driver->display, driver->host);
    driver->host = 0;
    driver->settle();
    for (VstInt32 opcode : {effEditIdle, effEditIdle, effEditClose})
        driver->dispatch(opcode, 0, 0, nullptr);
    EXPECT_EQ(driver->plugin->programName(), story::kDefaultName);
}

TEST(X11EditorWithoutDisplay, OpenFailsAndTheHostCarriesOn)
{
    const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    auto plugin = editortest::createPlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x200001)), 0);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'a', 0), 0);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(plugin->programName(), story::kDefaultName);
    if (!saved.empty())
        setenv("DISPLAY", saved.c_str(), 1);
}

} // namespace
