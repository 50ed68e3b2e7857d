// A small VST 2.4 host: loads a plug-in module, creates effects through its entry point and
// drives them only through the descriptor, as a real host does. Used by the tests and tools.
#pragma once

#include "host/vst2.h"

#include <memory>
#include <string>
#include <vector>

namespace vsthost {

using EntryProc = AEffect* (VSTCALLBACK*)(audioMasterCallback);

class PluginModule {
public:
    // The module at path, or null with the reason in error.
    static std::unique_ptr<PluginModule> open(const std::string& path, std::string& error);
    ~PluginModule();

    EntryProc entry() const { return vstEntry; }
    EntryProc entryNamed(const char* name) const;

private:
    PluginModule() = default;
    void* handle = nullptr;
    EntryProc vstEntry = nullptr;
};

// The host callback used unless a test gives its own: answers the version query with 2400.
VstIntPtr VSTCALLBACK defaultHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);

class PluginInstance {
public:
    // Calls the entry with callback; null when the plug-in refuses to load.
    static std::unique_ptr<PluginInstance> create(const PluginModule& module,
                                                  audioMasterCallback callback = defaultHostCallback);
    ~PluginInstance();   // closes the effect unless closed already

    AEffect* effect() const { return aeffect; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    // effClose; the effect no longer exists afterwards. Returns the dispatcher's answer.
    VstIntPtr close();

    void setParameter(VstInt32 index, float value) { aeffect->setParameter(aeffect, index, value); }
    float getParameter(VstInt32 index) { return aeffect->getParameter(aeffect, index); }
    std::string programName();
    std::string parameterName(VstInt32 index);
    std::string parameterLabel(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);

    // Processes frames of four channels in place: outputs replace the contents of buffers.
    void processReplacing(std::vector<std::vector<float>>& buffers, VstInt32 offset, VstInt32 frames);
    void processReplacing(float** inputs, float** outputs, VstInt32 frames)
    {
        aeffect->processReplacing(aeffect, inputs, outputs, frames);
    }

private:
    std::string text(VstInt32 opcode, VstInt32 index);
    AEffect* aeffect = nullptr;
};

} // namespace vsthost
