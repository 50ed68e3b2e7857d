// The editor in-process over the fake window system: the editing stories, and idling while the mouse
// is tracked.
#include "EditorStories.h"
#include "gui/FakeWindow.h"

#include "editor/ASnqEditor.h"
#include "module/ASonquadEdit.h"

namespace {

void* const kParent = reinterpret_cast<void*>(0x4242);
AEffEditor* editorToIdle = nullptr;   // idled from inside audioMasterIdle, as hosts commonly do
int hostIdles = 0, pumpsInsideHostIdle = -1;

int pumps() { return fake::Window::latest() ? fake::Window::latest()->eventPumps : 0; }

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    if (opcode == audioMasterIdle && editorToIdle) {
        const int before = pumps();
        editorToIdle->idle();
        pumpsInsideHostIdle = pumps() - before;
    }
    hostIdles += opcode == audioMasterIdle;
    return opcode == audioMasterVersion ? kVstVersion : 1;
}

std::unique_ptr<ASonquadEdit> makePlugin()
{
    setenv("SONQUAD_CALIBRATION_DIR", "/nonexistent/sonquad-editor-tests", 1);   // none of the machine's
    return std::make_unique<ASonquadEdit>(&host);
}

class FakeDriver : public story::Driver {
public:
    VstIntPtr dispatch(VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr) override { return plugin->dispatcher(op, index, value, ptr, 0); }
    void* hostWindow() override { return kParent; }
    void* missingWindow() override { return fake::Window::refusedParent(); }
    void click(int x, int y, bool right) override { window()->events.windowMouseDown({x, y}, right ? kRButton : kLButton); }
    void type(const std::string& text) override
    {
        for (char c : text)
            deliver({static_cast<unsigned char>(c), 0, 0});
    }
    void press(story::Key key) override
    {
        deliver({0, std::array {VKEY_RETURN, VKEY_ENTER, VKEY_ESCAPE, VKEY_END, VKEY_BACK}[static_cast<int>(key)], 0});
    }
    std::string field() override   // the texts of the latest drawing
    {
        std::string shown;
        for (const fake::DrawnText& text : window() ? window()->drawings.back().texts : std::vector<fake::DrawnText> {})
            shown += "[" + text.text + "]";
        return shown;
    }
    void expectPicture() override { EXPECT_EQ(field(), "[" + story::kDefaultName + "]"); }
    int editorWindows() override { return fake::Window::alive(); }
    std::optional<bool> hostHasKeyboard() override { return window()->focusTaken == window()->focusReleased; }
    void hostTakesKeyboard() override { window()->events.windowFocusLost(); }
    void closePlugin() override { plugin.reset(); }

private:
    static fake::Window* window() { return fake::Window::latest(); }
    void deliver(const KeyEvent& key) { window()->events.windowKeyDown(key); }
    fake::Install install;
    std::unique_ptr<ASonquadEdit> plugin = makePlugin();
};

using story::EditorStory;
INSTANTIATE_TEST_SUITE_P(Fake, EditorStory,
                         testing::Values(story::Backend {"FakeWindows", [] { return std::unique_ptr<story::Driver>(new FakeDriver); }}),
                         story::backendName);

// A control tracking the mouse idles the editor and the host through the frame; the host idling
// the editor from its own idle then must not idle the frame again.
TEST(EditorGlue, IdleDuringTrackingIsNotReenteredByTheHostIdlingTheEditor)
{
    fake::Install install;
    auto plugin = makePlugin();
    auto* editor = static_cast<ASnqEditor*>(plugin->getEditor());
    ASSERT_TRUE(editor->open(kParent));
    editorToIdle = editor;
    const int before = pumps(), hostIdlesBefore = hostIdles;
    editor->getFrame()->idleDuringTracking();
    editorToIdle = nullptr;
    EXPECT_EQ(hostIdles, hostIdlesBefore + 1);
    EXPECT_EQ(pumpsInsideHostIdle, 0);
    EXPECT_EQ(pumps(), before + 1);
    EXPECT_EQ(fake::Window::latest()->paintsDispatched, 1);
    editor->idle();   // out of the host's idle, idle works again
    EXPECT_EQ(pumps(), before + 2);
}

} // namespace
