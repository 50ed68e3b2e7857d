#include "gui/TextEditBuffer.h"

#include "gui/GuiTypes.h"

void TextEditBuffer::begin(const std::string& text)
{
    content = text.substr(0, maxLength);
    anchorIndex = 0;
    caretIndex = content.size();
}

void TextEditBuffer::setCaret(std::size_t index)
{
    caretIndex = anchorIndex = index < content.size() ? index : content.size();
}

char TextEditBuffer::typedCharacter(const KeyEvent& key)
{
    switch (key.virtualKey) {
    case 0:
        break;
    case VKEY_SPACE:
        return ' ';
    case VKEY_MULTIPLY:
        return '*';
    case VKEY_ADD:
        return '+';
    case VKEY_SUBTRACT:
        return '-';
    case VKEY_DECIMAL:
        return '.';
    case VKEY_DIVIDE:
        return '/';
    case VKEY_EQUALS:
        return '=';
    default:
        if (key.virtualKey >= VKEY_NUMPAD0 && key.virtualKey <= VKEY_NUMPAD9)
            return static_cast<char>('0' + (key.virtualKey - VKEY_NUMPAD0));
        return 0;
    }
    // Control and command chords are shortcuts, not text.
    if (key.modifiers & (MODIFIER_CONTROL | MODIFIER_COMMAND))
        return 0;
    const std::int32_t c = key.character;
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    return 0;
}

void TextEditBuffer::eraseSelection()
{
    const std::size_t start = selectionStart();
    content.erase(start, selectionEnd() - start);
    caretIndex = anchorIndex = start;
}

void TextEditBuffer::insert(char c)
{
    eraseSelection();
    if (content.size() >= maxLength)
        return;
    content.insert(content.begin() + static_cast<std::ptrdiff_t>(caretIndex), c);
    anchorIndex = ++caretIndex;
}

TextEditBuffer::KeyResult TextEditBuffer::handleKey(const KeyEvent& key)
{
    if (const char c = typedCharacter(key)) {
        insert(c);
        return KeyResult::kEdited;
    }
    // Control-A selects everything, as in the system's own text fields.
    if (key.virtualKey == 0 && (key.modifiers & (MODIFIER_CONTROL | MODIFIER_COMMAND))
        && (key.character == 'a' || key.character == 'A')) {
        anchorIndex = 0;
        caretIndex = content.size();
        return KeyResult::kEdited;
    }
    switch (key.virtualKey) {
    case VKEY_RETURN:
    case VKEY_ENTER:
        return KeyResult::kConfirmed;
    case VKEY_ESCAPE:
        return KeyResult::kCancelled;
    case VKEY_BACK:
        if (hasSelection())
            eraseSelection();
        else if (caretIndex > 0) {
            content.erase(--caretIndex, 1);
            anchorIndex = caretIndex;
        }
        return KeyResult::kEdited;
    case VKEY_DELETE:
        if (hasSelection())
            eraseSelection();
        else if (caretIndex < content.size())
            content.erase(caretIndex, 1);
        return KeyResult::kEdited;
    case VKEY_LEFT:
        // With a selection the caret goes to its start, as text fields do.
        setCaret(hasSelection() ? selectionStart() : (caretIndex > 0 ? caretIndex - 1 : 0));
        return KeyResult::kEdited;
    case VKEY_RIGHT:
        setCaret(hasSelection() ? selectionEnd() : caretIndex + 1);
        return KeyResult::kEdited;
    case VKEY_HOME:
    case VKEY_UP:
        setCaret(0);
        return KeyResult::kEdited;
    case VKEY_END:
    case VKEY_DOWN:
        setCaret(content.size());
        return KeyResult::kEdited;
    default:
        return KeyResult::kIgnored;
    }
}
