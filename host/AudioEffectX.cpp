#include "host/AudioEffectX.h"

#include "host/AEffEditor.h"

#include <cmath>

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
{
    *input = nullptr;
    *output = nullptr;
    return false;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case effGetProgramNameIndexed:
        return text && getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetEffectName:
        return text && getEffectName(text) ? 1 : 0;
    case effGetVendorString:
        return text && getVendorString(text) ? 1 : 0;
    case effGetProductString:
        return text && getProductString(text) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effCanDo:
        return text ? canDo(text) : 0;
    case effGetTailSize:
        return getGetTailSize();
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor)
            return 0;
        VstKeyCode key {};
        key.character = index;
        key.virt = static_cast<unsigned char>(value & 0xFF);
        // The modifier is the low byte of the integer part of opt; a non-finite or huge opt is
        // taken as no modifier rather than converted with undefined behaviour.
        const float modifier = std::isfinite(opt) && std::fabs(opt) < 2147483520.0f ? opt : 0.0f;
        key.modifier = static_cast<unsigned char>(static_cast<VstInt32>(modifier) & 0xFF);
        const bool handled = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return handled ? 1 : 0;
    }
    case effSetEditKnobMode:
        return editor && editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram();
    case effGetSpeakerArrangement:
        // Hosts pass the addresses of the input and output arrangement slots.
        if (value && ptr)
            getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                  static_cast<VstSpeakerArrangement**>(ptr));
        return 0;
    case effSetTotalSampleToProcess:
        return value;
    default:
        // Opcodes 0 to 24 are the VST 1 dispatcher's; everything else, including every opcode
        // above 79, falls through to it and is answered with 0 there.
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}
