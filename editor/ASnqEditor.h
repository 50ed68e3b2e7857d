// The plug-in's editor: a 400 × 100 window with the background picture and one text field that
// shows the current program's name and renames the program when the user edits it.
//
// Threads: every operation runs on the host's user-interface thread, as do the program-name
// calls it makes on the plug-in.
#pragma once

#include "editor/AEffGUIEditor.h"
#include "gui/CControlListener.h"
#include "gui/GuiTypes.h"

class CBitmap;
class CTextEdit;

class ASnqEditor : public AEffGUIEditor, public CControlListener {
public:
    static constexpr int kBackgroundResource = 128;
    // Where the name field sits on the background, and its colour (red 149, green 111, blue 42).
    static constexpr CRect kFieldRect {72, 53, 215, 68};
    static constexpr CColor kFieldColor {149, 111, 42, 0};

    // [host thread] Loads the background; the rectangle reported to the host is its size.
    explicit ASnqEditor(AudioEffect* effect, EditorClock& clock = EditorClock::system());
    ~ASnqEditor() override;

    // Opens the window inside the host's window (an X11 Window id or an HWND); false when the
    // window system refuses it.
    bool open(void* window) override;
    void close() override;
    // Lets the frame redraw, then shows the current program's name in the field.
    void idle() override;
    // The user finished editing the field: the current program takes its first 23 characters.
    void valueChanged(CDrawContext* context, CControl* control) override;

    CTextEdit* getTextField() const { return textField; }

private:
    CTextEdit* textField = nullptr;   // the name field, owned by the frame; null while closed
    CBitmap* background = nullptr;    // bitmap resource 128, one reference, kept across opens
};
