// The in-place editing of a text field: what key sequences do to the text, caret and selection.
// Keys are written as text: characters are typed, {Name} is a virtual key, {^a} is Control-A.
#include "gui/GuiTypes.h"
#include "gui/TextEditBuffer.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using Result = TextEditBuffer::KeyResult;

std::vector<KeyEvent> keys(const std::string& script)
{
    static const std::map<std::string, VirtualKey> kVirtual = {
        {"Back", VKEY_BACK}, {"Tab", VKEY_TAB}, {"Return", VKEY_RETURN}, {"Escape", VKEY_ESCAPE}, {"Space", VKEY_SPACE},
        {"End", VKEY_END}, {"Home", VKEY_HOME}, {"Left", VKEY_LEFT}, {"Up", VKEY_UP}, {"Right", VKEY_RIGHT},
        {"Down", VKEY_DOWN}, {"Enter", VKEY_ENTER}, {"Delete", VKEY_DELETE}, {"F1", VKEY_F1}, {"0", VKEY_NUMPAD0},
        {"4", VKEY_NUMPAD4}, {"9", VKEY_NUMPAD9}, {".", VKEY_DECIMAL}, {"-", VKEY_SUBTRACT}, {"*", VKEY_MULTIPLY}};
    std::vector<KeyEvent> events;
    for (std::size_t i = 0, end; i < script.size(); ++i)
        if (script[i] != '{')
            events.push_back({static_cast<unsigned char>(script[i]), 0, 0});
        else if (end = script.find('}', i); script[i + 1] == '^')
            events.push_back({script[i + 2], 0, MODIFIER_CONTROL}), i = end;
        else
            events.push_back({0, kVirtual.at(script.substr(i + 1, end - i - 1)), 0}), i = end;
    return events;
}

struct EditCase {
    const char* name;
    std::string start, keys, text;   // text after the keys
    std::size_t caret;               // after the keys
    bool selection;                  // something still selected
    Result last;                     // what the last key was; the ones before it edited
};
void PrintTo(const EditCase& c, std::ostream* out) { *out << c.name; }

class TextEditBufferKeys : public testing::TestWithParam<EditCase> {};

TEST_P(TextEditBufferKeys, LeaveTheExpectedTextAndCaret)
{
    const EditCase& c = GetParam();
    TextEditBuffer buffer(255);
    buffer.begin(c.start);
    const std::vector<KeyEvent> events = keys(c.keys);
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(buffer.handleKey(events[i]), i + 1 < events.size() ? Result::kEdited : c.last) << "key " << i;
    EXPECT_EQ(buffer.text(), c.text);
    EXPECT_EQ(buffer.caret(), c.caret);
    EXPECT_EQ(buffer.hasSelection(), c.selection);
}

constexpr Result E = Result::kEdited, Ignored = Result::kIgnored;
INSTANTIATE_TEST_SUITE_P(
    Sequences, TextEditBufferKeys,
    testing::Values(
        EditCase {"TypingReplacesTheTextSelectedAtTheStart", "User 2", "Hall", "Hall", 4, false, E},
        EditCase {"EndAppendsAndHomeInsertsAtTheFront", "Mic", "{End} A{Home}My ", "My Mic A", 3, false, E},
        EditCase {"UpAndDownGoToTheEnds", "Mic", "{Down}{Up}x{Down}y", "xMicy", 5, false, E},
        EditCase {"BackspaceWithAllSelectedEmpties", "Mic", "{Back}", "", 0, false, E},
        EditCase {"DeleteWithAllSelectedEmpties", "Mic", "{Delete}", "", 0, false, E},
        EditCase {"BackspaceInTheMiddle", "Mic", "{End}{Left}{Back}", "Mc", 1, false, E},
        EditCase {"DeleteAtHomeRemovesTheFirst", "Mic", "{Home}{Delete}", "ic", 0, false, E},
        EditCase {"DeleteAndBackspaceDoNothingAtTheEnds", "Mic", "{End}{Delete}{Home}{Back}", "Mic", 0, false, E},
        EditCase {"LeftWithASelectionGoesToItsStart", "Mic", "{Left}", "Mic", 0, false, E},
        EditCase {"RightWithASelectionGoesToItsEnd", "Mic", "{Home}{^a}{Right}", "Mic", 3, false, E},
        EditCase {"LeftTwiceFromTheEndInsertsInTheMiddle", "Mic", "{End}{Left}{Left}a", "Maic", 2, false, E},
        EditCase {"LeftAndRightStopAtTheEnds", "ab", "{Home}{Left}x{End}{Right}y", "xaby", 4, false, E},
        EditCase {"SpaceBarAndKeypadType", "", "a{Space}{4}{.}{0}{-}{9}{*}", "a 4.0-9*", 8, false, E},
        EditCase {"ControlASelectsAllAgainAndTypingReplacesIt", "Mic", "{End}{^A}x", "x", 1, false, E},
        EditCase {"Latin1LettersAreTypedAsTheirByte", "", "\xE9", "\xE9", 1, false, E},
        EditCase {"ReturnConfirms", "Mic", "{End}x{Return}", "Micx", 4, false, Result::kConfirmed},
        EditCase {"EscapeCancels", "Mic", "{End}{Escape}", "Mic", 3, false, Result::kCancelled},
        EditCase {"F1IsTheHosts", "Mic", "{End}{F1}", "Mic", 3, false, Ignored},
        EditCase {"ControlSIsTheHosts", "Mic", "{End}{^s}", "Mic", 3, false, Ignored},
        EditCase {"ControlCharactersAreTheHosts", "Mic", "{End}\x07", "Mic", 3, false, Ignored},
        EditCase {"DelCharacterIsTheHosts", "Mic", "{End}\x7F", "Mic", 3, false, Ignored}),
    [](const testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

} // namespace
