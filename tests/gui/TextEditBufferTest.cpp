// The in-place editing of a text field: what each key does to the text, caret and selection.
#include "gui/GuiTypes.h"
#include "gui/TextEditBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Result = TextEditBuffer::KeyResult;

KeyEvent typed(char c, unsigned char modifier = 0)
{
    KeyEvent key {};
    key.character = static_cast<unsigned char>(c);
    key.modifiers = modifier;
    return key;
}

KeyEvent virtualKey(unsigned char virt, unsigned char modifier = 0)
{
    KeyEvent key {};
    key.virtualKey = virt;
    key.modifiers = modifier;
    return key;
}

std::vector<KeyEvent> typing(const std::string& text)
{
    std::vector<KeyEvent> keys;
    for (char c : text)
        keys.push_back(typed(c));
    return keys;
}

struct EditCase {
    const char* description;
    std::string start;
    std::vector<KeyEvent> keys;
    std::string text;              // after the keys
    std::size_t caret;             // after the keys
    bool selection;                // something still selected
};

std::vector<KeyEvent> operator+(std::vector<KeyEvent> a, const std::vector<KeyEvent>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TextEditBufferCase : public testing::TestWithParam<EditCase> {};

TEST_P(TextEditBufferCase, LeavesTheExpectedTextAndCaret)
{
    const EditCase& c = GetParam();
    TextEditBuffer buffer(255);
    buffer.begin(c.start);
    for (const KeyEvent& key : c.keys)
        EXPECT_EQ(buffer.handleKey(key), Result::kEdited) << c.description;
    EXPECT_EQ(buffer.text(), c.text) << c.description;
    EXPECT_EQ(buffer.caret(), c.caret) << c.description;
    EXPECT_EQ(buffer.hasSelection(), c.selection) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TextEditBufferCase,
    testing::Values(
        EditCase {"typing replaces the whole text selected at the start", "User 2", typing("Hall"), "Hall", 4, false},
        EditCase {"End keeps the text and appends", "Mic", std::vector {virtualKey(VKEY_END)} + typing(" A"), "Mic A", 5, false},
        EditCase {"Home inserts at the front", "Mic", std::vector {virtualKey(VKEY_HOME)} + typing("My "), "My Mic", 3, false},
        EditCase {"Backspace with everything selected empties the field", "Mic", {virtualKey(VKEY_BACK)}, "", 0, false},
        EditCase {"Backspace after End removes the last character", "Mic", {virtualKey(VKEY_END), virtualKey(VKEY_BACK)}, "Mi", 2, false},
        EditCase {"Delete at Home removes the first character", "Mic", {virtualKey(VKEY_HOME), virtualKey(VKEY_DELETE)}, "ic", 0, false},
        EditCase {"Delete at the end does nothing", "Mic", {virtualKey(VKEY_END), virtualKey(VKEY_DELETE)}, "Mic", 3, false},
        EditCase {"Backspace at the front does nothing", "Mic", {virtualKey(VKEY_HOME), virtualKey(VKEY_BACK)}, "Mic", 0, false},
        EditCase {"Left with a selection goes to its start", "Mic", {virtualKey(VKEY_LEFT)}, "Mic", 0, false},
        EditCase {"Right with a selection goes to its end", "Mic", {virtualKey(VKEY_RIGHT)}, "Mic", 3, false},
        EditCase {"Left twice from the end then typing inserts in the middle", "Mic",
                  std::vector {virtualKey(VKEY_END), virtualKey(VKEY_LEFT), virtualKey(VKEY_LEFT)} + typing("a"), "Maic", 2, false},
        EditCase {"Left stops at the front", "ab", {virtualKey(VKEY_HOME), virtualKey(VKEY_LEFT)}, "ab", 0, false},
        EditCase {"Right stops at the end", "ab", {virtualKey(VKEY_END), virtualKey(VKEY_RIGHT)}, "ab", 2, false},
        EditCase {"the space bar types a space", "", std::vector {typed('a'), virtualKey(VKEY_SPACE), typed('b')}, "a b", 3, false},
        EditCase {"the numeric keypad types digits and signs", "",
                  {virtualKey(VKEY_NUMPAD4), virtualKey(VKEY_NUMPAD2), virtualKey(VKEY_DECIMAL), virtualKey(VKEY_NUMPAD0),
                   virtualKey(VKEY_SUBTRACT), virtualKey(VKEY_NUMPAD9)}, "42.0-9", 6, false},
        EditCase {"Control-A selects everything again", "Mic", {virtualKey(VKEY_END), typed('a', MODIFIER_CONTROL)}, "Mic", 3, true},
        EditCase {"Latin-1 letters are typed as their byte", "", {typed('\xE9')}, "\xE9", 1, false},
        EditCase {"an empty field takes text", "", typing("x"), "x", 1, false}),
    [](const testing::TestParamInfo<EditCase>& info) { return "Case" + std::to_string(info.index); });

TEST(TextEditBuffer, ConfirmsOnReturnAndEnterAndCancelsOnEscape)
{
    TextEditBuffer buffer(255);
    buffer.begin("Mic");
    EXPECT_EQ(buffer.handleKey(virtualKey(VKEY_RETURN)), Result::kConfirmed);
    EXPECT_EQ(buffer.handleKey(virtualKey(VKEY_ENTER)), Result::kConfirmed);
    EXPECT_EQ(buffer.handleKey(virtualKey(VKEY_ESCAPE)), Result::kCancelled);
    EXPECT_EQ(buffer.text(), "Mic");
}

TEST(TextEditBuffer, IgnoresKeysThatDoNotEditSoTheHostMayUseThem)
{
    TextEditBuffer buffer(255);
    buffer.begin("Mic");
    for (KeyEvent key : {virtualKey(VKEY_F1), virtualKey(VKEY_TAB), virtualKey(VKEY_PAGEUP), virtualKey(VKEY_SHIFT),
                           typed('s', MODIFIER_CONTROL), typed('\x07'), typed('\x7F')})
        EXPECT_EQ(buffer.handleKey(key), Result::kIgnored) << int(key.virtualKey) << " " << key.character;
    EXPECT_EQ(buffer.text(), "Mic");
    EXPECT_TRUE(buffer.hasSelection());
}

TEST(TextEditBuffer, StopsTypingAtItsLength)
{
    TextEditBuffer buffer(5);
    buffer.begin("abcdefgh");
    EXPECT_EQ(buffer.text(), "abcde");
    buffer.handleKey(virtualKey(VKEY_END));
    buffer.handleKey(typed('x'));
    EXPECT_EQ(buffer.text(), "abcde");
    buffer.handleKey(virtualKey(VKEY_BACK));
    buffer.handleKey(typed('x'));
    EXPECT_EQ(buffer.text(), "abcdx");
}

TEST(TextEditBuffer, PlacesTheCaretWithinTheText)
{
    TextEditBuffer buffer(255);
    buffer.begin("abc");
    buffer.setCaret(1);
    EXPECT_EQ(buffer.caret(), 1u);
    EXPECT_FALSE(buffer.hasSelection());
    buffer.setCaret(99);
    EXPECT_EQ(buffer.caret(), 3u);
}

} // namespace
