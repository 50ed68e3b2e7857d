// The text being edited in place in a text field: the characters, a caret between them and a
// selection, changed by key codes. Pure logic, with no window system; the field draws it.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include "gui/GuiTypes.h"

#include <cstddef>
#include <string>

class TextEditBuffer {
public:
    enum class KeyResult {
        kIgnored,     // not an editing key: the host may use it
        kEdited,      // the text, caret or selection changed (or the key was used without effect)
        kConfirmed,   // Enter or Return: the edit is finished
        kCancelled,   // Escape: the edit is abandoned
    };

    explicit TextEditBuffer(std::size_t maxLength) : maxLength(maxLength) {}

    // Starts an edit of text with all of it selected, so that typing replaces it.
    void begin(const std::string& text);
    KeyResult handleKey(const KeyEvent& key);

    const std::string& text() const { return content; }
    std::size_t caret() const { return caretIndex; }
    // The selected bytes [selectionStart, selectionEnd); empty when they are equal.
    std::size_t selectionStart() const { return caretIndex < anchorIndex ? caretIndex : anchorIndex; }
    std::size_t selectionEnd() const { return caretIndex < anchorIndex ? anchorIndex : caretIndex; }
    bool hasSelection() const { return caretIndex != anchorIndex; }
    void setCaret(std::size_t index);

    // The byte a key types, or 0 when the key types nothing: printable Latin-1 characters, the
    // space bar and the numeric keypad.
    static char typedCharacter(const KeyEvent& key);

private:
    void insert(char c);
    void eraseSelection();

    std::size_t maxLength;        // bytes the text may hold
    std::string content;          // the text as edited so far
    std::size_t caretIndex = 0;   // caret before byte caretIndex
    std::size_t anchorIndex = 0;  // other end of the selection; equals caretIndex when none
};
