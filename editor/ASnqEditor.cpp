#include "editor/ASnqEditor.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CTextEdit.h"
#include "host/AudioEffect.h"

#include <cstring>

ASnqEditor::ASnqEditor(AudioEffect* effect, EditorClock& clock)
    : AEffGUIEditor(effect, clock), background(new CBitmap(kBackgroundResource))
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(background->getHeight());
    rect.right = static_cast<VstInt16>(background->getWidth());
}

ASnqEditor::~ASnqEditor()
{
    close();
    background->forget();
}

bool ASnqEditor::open(void* window)
{
    // Some hosts open twice without closing: the first window goes.
    close();
    AEffGUIEditor::open(window);

    frame = new CFrame({0, 0, background->getWidth(), background->getHeight()}, window, frameOwner());
    if (!frame->isOpen()) {
        // No display, or a parent window that does not exist: the host gets no editor.
        delete frame;
        frame = nullptr;
        systemWindow = nullptr;
        return false;
    }
    frame->setBackground(background);

    textField = new CTextEdit(kFieldRect, this);
    textField->setFrameColor(kFieldColor);
    textField->setBackColor(kFieldColor);
    frame->addView(textField);
    return true;
}

void ASnqEditor::close()
{
    if (frame) {
        delete frame;
        frame = nullptr;
    }
    textField = nullptr;
}

void ASnqEditor::idle()
{
    // The name is taken before the frame redraws, so a program change shows at this idle.
    if (textField && effect) {
        char name[28] = {};
        effect->getProgramName(name);
        name[sizeof name - 1] = '\0';
        textField->setText(name);
    }
    AEffGUIEditor::idle();
}

void ASnqEditor::valueChanged(CDrawContext*, CControl* control)
{
    if (!frame || control != textField || !effect)
        return;
    char name[kVstMaxProgNameLen] = {};
    textField->getText(name, sizeof name);   // cut to 23 characters and the terminator
    effect->setProgramName(name);
    frame->setDirty(true);
}
