// The editor in-process over the fake window system: the editing stories with the toolkit's own
// text editing and with a window system's text control; then what only the glue does: the host's
// keys with their modifiers, the wheel, the knob mode, edit gestures, and the timing of idling
// while the mouse is tracked (with an injected clock: no test sleeps).
#include "EditorStories.h"
#include "gui/FakeWindow.h"

#include "editor/ASnqEditor.h"
#include "module/ASonquadEdit.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

namespace {

void* const kParent = reinterpret_cast<void*>(0x4242);

// What the plug-in asked of its host: opcode and index of each call.
std::vector<std::pair<VstInt32, VstInt32>> hostCalls;
AEffEditor* editorToIdle = nullptr;   // idled from inside audioMasterIdle, as hosts commonly do
int pumpsInsideMasterIdle = -1;       // the fake window's event pumps seen there

int pumps() { return fake::Window::latest() ? fake::Window::latest()->eventPumps : 0; }

VstIntPtr VSTCALLBACK loggingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float)
{
    if (opcode == audioMasterVersion)
        return kVstVersion;
    hostCalls.emplace_back(opcode, index);
    if (opcode == audioMasterIdle && editorToIdle) {
        const int before = pumps();
        editorToIdle->idle();
        pumpsInsideMasterIdle = pumps() - before;
    }
    return 1;
}

std::unique_ptr<ASonquadEdit> makePlugin()
{
    setenv("SONQUAD_CALIBRATION_DIR", "/nonexistent/sonquad-editor-tests", 1);   // no calibrations of the machine
    return std::make_unique<ASonquadEdit>(&loggingHost);
}

class FakeDriver : public story::Driver {
public:
    explicit FakeDriver(bool native) : install(native), native(native) {}
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr) override
    {
        return plugin ? plugin->dispatcher(opcode, index, value, ptr, 0) : 0;
    }
    void* hostWindow() override { return kParent; }
    void* missingWindow() override { return fake::Window::refusedParent(); }
    void click(int x, int y, bool right) override { window() ? window()->events.windowMouseDown({x, y}, right ? kRButton : kLButton) : void(); }
    void type(const std::string& text) override
    {
        for (char c : text)
            deliver({static_cast<unsigned char>(c), 0, 0});
    }
    void press(story::Key key) override
    {
        static constexpr unsigned char kVirtual[] = {VKEY_RETURN, VKEY_ENTER, VKEY_ESCAPE, VKEY_END, VKEY_BACK};
        deliver({0, kVirtual[static_cast<int>(key)], 0});
    }
    // The texts of the latest drawing.
    std::string field() override
    {
        std::string shown;
        for (const fake::DrawnText& text : window() && !window()->drawings.empty() ? window()->drawings.back().texts
                                                                                   : std::vector<fake::DrawnText> {})
            shown += "[" + text.text + "]";
        return shown;
    }
    int editorWindows() override { return fake::Window::alive(); }
    // The window system's control has the keyboard while it exists; the frame's window between
    // taking and releasing it.
    std::optional<bool> hostHasKeyboard() override
    {
        return !window() ? std::nullopt : std::optional {!window()->nativeField && window()->focusTaken == window()->focusReleased};
    }
    void hostTakesKeyboard() override { window() ? window()->events.windowFocusLost() : void(); }
    void closePlugin() override { plugin.reset(); }

private:
    static fake::Window* window() { return fake::Window::latest(); }
    // Keys reach the window system's control directly, and the frame's window otherwise.
    void deliver(const KeyEvent& key)
    {
        if (window())
            window()->nativeField ? void(window()->nativeField->handleKey(key)) : void(window()->events.windowKeyDown(key));
    }
    fake::Install install;
    bool native;
    std::unique_ptr<ASonquadEdit> plugin = makePlugin();
};

using story::EditorStory;
INSTANTIATE_TEST_SUITE_P(
    Fake, EditorStory,
    testing::Values(story::Backend {"InPlace", [] { return std::unique_ptr<story::Driver>(new FakeDriver(false)); }},
                    story::Backend {"NativeControl", [] { return std::unique_ptr<story::Driver>(new FakeDriver(true)); }}),
    story::backendName);

class EditorGlue : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(editor->open(kParent));
        window = fake::Window::latest();
        hostCalls.clear();
    }
    fake::Install install;
    std::unique_ptr<ASonquadEdit> owner = makePlugin();
    ASonquadEdit& plugin = *owner;
    ASnqEditor* editor = static_cast<ASnqEditor*>(plugin.getEditor());
    fake::Window* window = nullptr;
};

// A key from the host (index the character, value the virtual key, opt the modifier bits) reaches
// the toolkit with all three: Control-A selects the whole name again instead of typing an "a".
TEST_F(EditorGlue, HostKeysReachTheFieldWithTheirVirtualKeyAndModifiers)
{
    window->events.windowMouseDown({100, 60}, kLButton);
    for (auto [character, virtualKey, modifiers] : {std::tuple {0, int {VKEY_END}, 0}, {'a', 0, int {MODIFIER_CONTROL}}, {'z', 0, 0}})
        EXPECT_EQ(plugin.dispatcher(effEditKeyDown, character, virtualKey, nullptr, modifiers), 1);
    EXPECT_EQ(plugin.dispatcher(effEditKeyUp, 'z', 0, nullptr, 0), 1);
    EXPECT_EQ(plugin.dispatcher(effEditKeyDown, 0, VKEY_RETURN, nullptr, 0), 1);
    char name[32] = {};
    plugin.getProgramName(name);
    EXPECT_STREQ(name, "z");
}

// A view of the test's that takes the wheel and notes where: the editor's own field does not.
struct WheelTaker : CView {
    WheelTaker() : CView({0, 0, 60, 40}) {}
    bool onWheel(CPoint where, float distance) override { return turns.push_back({where, distance}), true; }
    std::vector<std::pair<CPoint, float>> turns;
};

TEST_F(EditorGlue, TurnsTheWheelAtTheMousePositionAndForwardsGesturesAndTheKnobMode)
{
    auto* taker = new WheelTaker;
    editor->getFrame()->addView(taker);
    window->cursor = {30, 20};
    EXPECT_TRUE(editor->onWheel(-2.0f));
    EXPECT_EQ(taker->turns, (std::vector {std::pair {CPoint {30, 20}, -2.0f}}));
    window->cursor = {300, 80};   // over nothing that takes the wheel
    EXPECT_FALSE(editor->onWheel(1.0f));
    for (VstInt32 mode : {1, 2, 0}) {
        EXPECT_TRUE(editor->setKnobMode(mode));
        EXPECT_EQ(CFrame::getKnobMode(), mode);
    }
    EXPECT_TRUE(editor->beginEdit(7));
    EXPECT_TRUE(editor->endEdit(7));
    EXPECT_EQ(hostCalls, (std::vector<std::pair<VstInt32, VstInt32>> {{audioMasterBeginEdit, 7}, {audioMasterEndEdit, 7}}));
    editor->close();
    EXPECT_FALSE(editor->onWheel(1.0f));
}

// A clock a test sets; pauses advance it.
struct FakeClock : EditorClock {
    std::uint32_t now() override { return time; }
    void pause(unsigned milliseconds) override { pauses.push_back(milliseconds), time += milliseconds; }
    std::uint32_t time = 0;
    std::vector<unsigned> pauses;
};

struct TrackingCase {
    const char* name;
    std::uint32_t createdAt;   // clock when the editor was made: the first next idle time
    std::vector<std::tuple<std::uint32_t, bool, bool>> calls;   // clock at the call, paused 4 ms, idled
};
void PrintTo(const TrackingCase& c, std::ostream* out) { *out << c.name; }

struct PlainEffect : AudioEffect {
    PlainEffect() : AudioEffect(&loggingHost, 1, 1) {}
};

int hostIdles() { return static_cast<int>(std::count(hostCalls.begin(), hostCalls.end(), std::pair {VstInt32 {audioMasterIdle}, 0})); }

class IdleDuringTracking : public testing::TestWithParam<TrackingCase> {};

TEST_P(IdleDuringTracking, PausesAndIdlesByTheNextIdleTime)
{
    fake::Install install;
    FakeClock clock;
    clock.time = GetParam().createdAt;
    PlainEffect effect;   // owns the editor
    auto* editor = new ASnqEditor(&effect, clock);
    ASSERT_TRUE(editor->open(kParent));
    for (auto [at, paused, idled] : GetParam().calls) {
        SCOPED_TRACE(testing::Message() << "call at " << at);
        clock.time = at;
        clock.pauses.clear();
        const int pumpsBefore = pumps(), hostIdlesBefore = hostIdles();
        editor->getFrame()->idleDuringTracking();   // as a control that tracks the mouse calls it
        EXPECT_EQ(clock.pauses, paused ? std::vector<unsigned> {4} : std::vector<unsigned> {});
        EXPECT_EQ(pumps() - pumpsBefore, idled ? 1 : 0);
        EXPECT_EQ(hostIdles() - hostIdlesBefore, idled ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Timing, IdleDuringTracking,
    testing::Values(
        TrackingCase {"FirstCallIdlesAtOnce", 1000, {{1000, false, true}}},
        TrackingCase {"SoonerThan54msEarlyPausesAndReturns", 1000, {{1000, false, true}, {1010, true, false}}},
        TrackingCase {"At54msEarlyThePauseBringsItTo50WhichIdles", 1000, {{1000, false, true}, {1046, true, true}}},
        TrackingCase {"At55msEarlyThePauseLeaves51", 1000, {{1000, false, true}, {1045, true, false}}},
        TrackingCase {"AtTheNextIdleTimeExactlyNoPause", 1000, {{1000, false, true}, {1100, false, true}}},
        TrackingCase {"NextIdleTimeIsThePausedTimePlus100", 1000,
                      {{1000, false, true}, {1050, true, true}, {1099, true, false}, {1154, false, true}}},
        TrackingCase {"LateCallsAlwaysIdle", 1000, {{1000, false, true}, {1500, false, true}, {6000, false, true}}},
        TrackingCase {"AcrossTheWrapOfTheTickCount", 0xFFFFFFF0u,
                      {{0xFFFFFFF0u, false, true}, {0x00000010u, true, false}, {0x00000030u, true, true}}}),
    [](const testing::TestParamInfo<TrackingCase>& info) { return std::string(info.param.name); });

TEST(IdleDuringTrackingHost, IsNotReenteredByTheHostIdlingTheEditorFromItsIdle)
{
    fake::Install install;
    FakeClock clock;
    PlainEffect effect;
    auto* editor = new ASnqEditor(&effect, clock);
    ASSERT_TRUE(editor->open(kParent));
    editorToIdle = editor;
    const int before = pumps();
    editor->getFrame()->idleDuringTracking();
    editorToIdle = nullptr;
    EXPECT_EQ(pumpsInsideMasterIdle, 0) << "the frame idles once, not again from the host's idle";
    EXPECT_EQ(pumps(), before + 1);
    EXPECT_EQ(fake::Window::latest()->paintsDispatched, 1);
    editor->idle();   // once out of the host's idle, idle works again
    EXPECT_EQ(pumps(), before + 2);
}

} // namespace
