// The editor of the built module in a real X server, driven as a host and a person would: a host
// window gets the editor, idles it and reads its pixels back; clicks and typing come through the
// XTEST extension. Skipped when no display is set (scripts/test-editor runs it under Xvfb).
#include "EditorPicture.h"
#include "host/LoadedPlugin.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrender.h>
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using editortest::kWidth;
using editortest::kHeight;
using editortest::kField;
using editortest::Rgb;
using editortest::Picture;
using editortest::insideField;
using editortest::isFieldColor;
using editortest::readBackground;

constexpr unsigned long kHostBackground = 0x203040;   // what the host window shows without an editor

Picture referenceBackground()
{
    return readBackground(SONQUAD_BACKGROUND_BMP);
}

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

class X11Editor : public testing::Test {
protected:
    void SetUp() override
    {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name)
            GTEST_SKIP() << "no X display (DISPLAY is not set); scripts/test-editor runs this under Xvfb";
        // Xvfb on a loaded machine now and then drops a connection during its set-up.
        for (int attempt = 0; attempt < 3 && !display; ++attempt)
            display = XOpenDisplay(nullptr);
        if (!display)
            GTEST_SKIP() << "cannot open display " << name;
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor)) << "the X server has no XTEST";
        const int screen = DefaultScreen(display);
        ASSERT_EQ(DefaultDepth(display, screen), 24) << "run the server with a 24-bit screen";
        // A host's top-level window, mapped and waited for.
        hostWindow = XCreateSimpleWindow(display, RootWindow(display, screen), 10, 10, kWidth, kHeight, 0, 0,
                                         kHostBackground);
        XSelectInput(display, hostWindow, StructureNotifyMask | ExposureMask);
        XMapRaised(display, hostWindow);
        for (XEvent event; XNextEvent(display, &event), event.type != MapNotify;) {
        }
        XSync(display, False);
        plugin = testhost::createPlugin();
        ASSERT_NE(plugin, nullptr);
    }

    void TearDown() override
    {
        plugin.reset();
        if (display) {
            if (hostWindow)
                XDestroyWindow(display, hostWindow);
            XCloseDisplay(display);
        }
    }

    void* parent() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(hostWindow)); }

    bool openEditor() { return plugin->dispatch(effEditOpen, 0, 0, parent()) == 1; }

    // Opened and idled twice: the first picture is on the screen.
    bool openAndIdle()
    {
        const bool opened = openEditor();
        idle();
        return opened;
    }

    void idle(int times = 2)
    {
        for (int i = 0; i < times; ++i)
            plugin->dispatch(effEditIdle);
    }

    int childWindows()
    {
        XSync(display, False);
        ::Window root = 0, parentOfHost = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, hostWindow, &root, &parentOfHost, &children, &count))
            return -1;
        if (children)
            XFree(children);
        return static_cast<int>(count);
    }

    // The host window's pixels, with the editor's child window in them.
    Picture capture()
    {
        XSync(display, False);
        XImage* image = XGetImage(display, hostWindow, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        Picture picture;
        if (!image)
            return picture;
        picture.width = kWidth;
        picture.height = kHeight;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                picture.pixels.push_back({static_cast<std::uint8_t>((pixel & image->red_mask) >> 16),
                                          static_cast<std::uint8_t>((pixel & image->green_mask) >> 8),
                                          static_cast<std::uint8_t>(pixel & image->blue_mask)});
            }
        XDestroyImage(image);
        return picture;
    }

    static Picture fieldOf(const Picture& picture)
    {
        Picture field;
        field.width = kField.right - kField.left;
        field.height = kField.bottom - kField.top;
        for (int y = kField.top; y < kField.bottom; ++y)
            for (int x = kField.left; x < kField.right; ++x)
                field.pixels.push_back(picture.at(x, y));
        return field;
    }

    // A click of the first button at (x, y) of the host window, as the mouse would make it.
    void click(int x, int y)
    {
        int rootX = 0, rootY = 0;
        ::Window child = 0;
        XTranslateCoordinates(display, hostWindow, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
        idle();
    }

    void pressKey(KeySym symbol, bool shifted = false)
    {
        const KeyCode code = XKeysymToKeycode(display, symbol);
        ASSERT_NE(code, 0) << "no key for keysym " << symbol;
        const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
        if (shifted)
            XTestFakeKeyEvent(display, shift, True, CurrentTime);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        if (shifted)
            XTestFakeKeyEvent(display, shift, False, CurrentTime);
    }

    // Types text on the keyboard, with Shift where the character needs it.
    void type(const std::string& text)
    {
        for (char c : text) {
            const KeySym symbol = c == ' ' ? XK_space : c == '-' ? XK_minus : static_cast<KeySym>(c);
            const KeyCode code = XKeysymToKeycode(display, symbol);
            const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != symbol;
            pressKey(symbol, shifted);
        }
        XSync(display, False);
        idle();
    }

    void enter(KeySym symbol = XK_Return)
    {
        pressKey(symbol);
        XSync(display, False);
        idle();
    }

    Display* display = nullptr;
    ::Window hostWindow = 0;
    std::unique_ptr<vsthost::PluginInstance> plugin;
};

void savePpm(const Picture& picture, const std::string& path)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return;
    std::fprintf(out, "P6\n%d %d\n255\n", picture.width, picture.height);
    for (const Rgb& p : picture.pixels)
        std::fwrite(&p, 1, 3, out);
    std::fclose(out);
}

TEST(EditorWithoutDisplay, OpenFailsAndTheHostCarriesOn)
{
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    auto plugin = testhost::createPlugin();
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x200001)), 0);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'a', 0), 0);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");
    if (saved)
        setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(X11Editor, DrawsTheBackgroundAndTheProgramNameInTheField)
{
    const Picture reference = referenceBackground();
    ASSERT_EQ(reference.width, kWidth);
    ASSERT_EQ(reference.height, kHeight);

    ASSERT_TRUE(openEditor());
    EXPECT_EQ(childWindows(), 1);
    idle(1);
    const Picture shown = capture();
    ASSERT_EQ(shown.width, kWidth);
    if (const char* folder = std::getenv("SONQUAD_SCREENSHOT_DIR"))
        savePpm(shown, std::string(folder) + "/editor-x11.ppm");

    int backgroundDifferences = 0, fieldPixels = 0, textPixels = 0, lightPixels = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb p = shown.at(x, y);
            if (!insideField(x, y)) {
                backgroundDifferences += !(p == reference.at(x, y));
                continue;
            }
            ++fieldPixels;
            if (!isFieldColor(p)) {
                ++textPixels;
                lightPixels += p.r > 200 && p.g > 200 && p.b > 180;
            }
        }
    EXPECT_EQ(backgroundDifferences, 0) << "the background outside the field is the picture, pixel for pixel";
    // "Quaddle - uncalibrated" in white: a few hundred pixels of text, the rest the field colour.
    EXPECT_GT(textPixels, 60);
    EXPECT_LT(textPixels, fieldPixels / 2);
    EXPECT_GT(lightPixels, 10) << "white text, solid at the strokes' centres";
    // The stored picture carries the field colour under the field too.
    for (int y = kField.top; y < kField.bottom; ++y)
        for (int x = kField.left; x < kField.right; ++x)
            ASSERT_TRUE(isFieldColor(reference.at(x, y))) << x << "," << y;
}

TEST_F(X11Editor, TypingANameAndEnterRenamesTheCurrentProgram)
{
    plugin->dispatch(effSetProgram, 0, 3);
    ASSERT_TRUE(openAndIdle());
    click(140, 60);
    type("Field Rec 7");
    EXPECT_EQ(plugin->programName(), "User 3") << "nothing changes before Enter";
    enter();
    EXPECT_EQ(plugin->programName(), "Field Rec 7");
    plugin->dispatch(effSetProgram, 0, 2);
    plugin->dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(plugin->programName(), "Field Rec 7");

    // The keypad's Enter confirms too; Backspace edits.
    click(140, 60);
    pressKey(XK_End);
    pressKey(XK_BackSpace);
    type("8");
    enter(XK_KP_Enter);
    EXPECT_EQ(plugin->programName(), "Field Rec 8");
}

TEST_F(X11Editor, AFortyCharacterNameComesBackCutTo23AndIsShownSo)
{
    ASSERT_TRUE(openAndIdle());
    const std::string typed = "abcdefghij klmnopqrst ABCDEFGHIJ KLMNOPQ";
    ASSERT_EQ(typed.size(), 40u);
    click(140, 60);
    type(typed);
    enter();
    EXPECT_EQ(plugin->programName(), typed.substr(0, 23));
    idle();
    const Picture renamed = fieldOf(capture());

    // The field shows exactly what a host-set name of those 23 characters shows.
    plugin->dispatch(effSetProgram, 0, 5);
    std::string cut = typed.substr(0, 23);
    plugin->dispatch(effSetProgramName, 0, 0, cut.data());
    idle();
    EXPECT_EQ(fieldOf(capture()), renamed);
}

TEST_F(X11Editor, SelectingAnotherProgramChangesTheFieldAtTheNextIdle)
{
    ASSERT_TRUE(openAndIdle());
    const Picture first = fieldOf(capture());
    plugin->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(fieldOf(capture()), first) << "nothing is drawn before the idle";
    idle(1);
    const Picture second = fieldOf(capture());
    EXPECT_NE(second, first);
    plugin->dispatch(effSetProgram, 0, 0);
    idle(1);
    EXPECT_EQ(fieldOf(capture()), first);
}

TEST_F(X11Editor, EscapeAbandonsTheEditAndAClickOutsideTheFieldConfirms)
{
    ASSERT_TRUE(openAndIdle());
    const Picture before = fieldOf(capture());
    click(140, 60);
    type("Nope");
    enter(XK_Escape);
    idle();
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");
    EXPECT_EQ(fieldOf(capture()), before);

    click(140, 60);
    type("Clicked Away");
    click(300, 20);
    EXPECT_EQ(plugin->programName(), "Clicked Away");
}

TEST_F(X11Editor, KeysForwardedByTheHostEditTheField)
{
    ASSERT_TRUE(openAndIdle());
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'x', 0), 0) << "not editing: the key is the host's";
    click(140, 60);
    for (char c : std::string("Hosted"))
        EXPECT_EQ(plugin->dispatch(effEditKeyDown, c, 0), 1) << c;
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 1 /* VKEY_BACK */), 1);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 7 /* VKEY_SPACE */), 1);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, '1', 0), 1);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 40 /* VKEY_F1 */), 0) << "not an editing key";
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 4 /* VKEY_RETURN */), 1);
    EXPECT_EQ(plugin->programName(), "Hoste 1");
}

TEST_F(X11Editor, ClosesReopensAndIdlesWhileClosedWithoutTouchingTheWindow)
{
    ASSERT_TRUE(openAndIdle());
    const Picture open = capture();
    plugin->dispatch(effEditClose);
    EXPECT_EQ(childWindows(), 0);
    const Picture closed = capture();
    EXPECT_NE(closed, open);
    EXPECT_EQ(closed.at(5, 5), (Rgb {0x20, 0x30, 0x40})) << "the host window's own background again";
    plugin->dispatch(effSetProgram, 0, 1);
    idle(3);
    EXPECT_EQ(capture(), closed);
    EXPECT_EQ(childWindows(), 0);
    ERect* rect = nullptr;
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 400);

    plugin->dispatch(effSetProgram, 0, 0);
    ASSERT_TRUE(openEditor());
    EXPECT_EQ(childWindows(), 1);
    idle(1);
    EXPECT_EQ(capture(), open);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(childWindows(), 0);
    plugin->dispatch(effEditClose);   // a second close is harmless
}

TEST_F(X11Editor, ReopensManyTimesAndDrawsItsTextEveryTime)
{
    // Each open has a display connection of its own, often at the address of the one before: no
    // state of a closed connection (fonts, the render extension's records) may leak into the next.
    ASSERT_TRUE(openAndIdle());
    const Picture first = fieldOf(capture());
    plugin->dispatch(effEditClose);
    for (int round = 0; round < 25; ++round) {
        ASSERT_TRUE(openEditor()) << "round " << round;
        idle(1);
        ASSERT_EQ(fieldOf(capture()), first) << "round " << round;
        plugin->dispatch(effEditClose);
    }
    EXPECT_EQ(childWindows(), 0);
}

TEST_F(X11Editor, LeavesNoRecordOfItsConnectionForTheHostsNextOne)
{
    // The editor's closed connection must leave nothing in the process-wide libraries (Xft,
    // Xrender) that a connection the host opens next, perhaps at the same address, would pick up.
    const XErrorHandler previous = XSetErrorHandler(&countHostError);
    hostErrors = 0;
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(openEditor());
        idle(1);
        plugin->dispatch(effEditClose);
        Display* next = XOpenDisplay(nullptr);
        ASSERT_NE(next, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        EXPECT_TRUE(XRenderQueryExtension(next, &event, &error));
        EXPECT_TRUE(XRenderQueryVersion(next, &major, &minor));
        EXPECT_NE(XRenderFindVisualFormat(next, DefaultVisual(next, DefaultScreen(next))), nullptr);
        XSync(next, False);
        XCloseDisplay(next);
    }
    XSetErrorHandler(previous);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, OpeningTwiceLeavesOneWindowAndClosingThePluginLeavesNone)
{
    ASSERT_TRUE(openEditor());
    ASSERT_TRUE(openAndIdle());
    EXPECT_EQ(childWindows(), 1);
    EXPECT_EQ(plugin->close(), 1);
    EXPECT_EQ(childWindows(), 0);
}

TEST_F(X11Editor, AParentThatDoesNotExistIsRefusedWithoutDisturbingTheHost)
{
    const XErrorHandler previous = XSetErrorHandler(&countHostError);
    hostErrors = 0;
    const ::Window missing = hostWindow + 0x1000;   // an id of the host's range that names nothing
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(missing))), 0);
    idle();
    plugin->dispatch(effEditClose);
    // The host's own handler is back in place and saw none of the editor's errors.
    EXPECT_EQ(XSetErrorHandler(previous), &countHostError);
    EXPECT_EQ(hostErrors, 0);
    // The editor still opens in a real window afterwards.
    EXPECT_TRUE(openEditor());
}

TEST_F(X11Editor, SurvivesTheHostDestroyingItsWindowBeforeClosingTheEditor)
{
    ASSERT_TRUE(openAndIdle());
    XDestroyWindow(display, hostWindow);
    XSync(display, False);
    hostWindow = 0;
    idle(3);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(plugin->programName(), "Quaddle - uncalibrated");
}

} // namespace
