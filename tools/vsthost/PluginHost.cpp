#include "tools/vsthost/PluginHost.h"

#include "tools/vsthost/ModuleLoader.h"

#include <cstring>

namespace vsthost {

std::unique_ptr<PluginModule> PluginModule::open(const std::string& path, std::string& error)
{
    void* handle = loadModule(path, error);
    if (!handle)
        return nullptr;
    std::unique_ptr<PluginModule> module(new PluginModule);
    module->handle = handle;
    module->vstEntry = module->entryNamed("VSTPluginMain");
    if (!module->vstEntry) {
        error = "the module has no VSTPluginMain";
        return nullptr;
    }
    return module;
}

PluginModule::~PluginModule()
{
    unloadModule(handle);
}

EntryProc PluginModule::entryNamed(const char* name) const
{
    return reinterpret_cast<EntryProc>(findSymbol(handle, name));
}

VstIntPtr VSTCALLBACK defaultHostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

std::unique_ptr<PluginInstance> PluginInstance::create(const PluginModule& module, audioMasterCallback callback)
{
    AEffect* effect = module.entry()(callback);
    if (!effect)
        return nullptr;
    std::unique_ptr<PluginInstance> instance(new PluginInstance);
    instance->aeffect = effect;
    return instance;
}

PluginInstance::~PluginInstance()
{
    close();
}

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

VstIntPtr PluginInstance::close()
{
    if (!aeffect)
        return 0;
    const VstIntPtr result = dispatch(effClose);
    aeffect = nullptr;
    return result;
}

std::string PluginInstance::text(VstInt32 opcode, VstInt32 index)
{
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    dispatch(opcode, index, 0, buffer);
    return buffer;
}

std::string PluginInstance::programName() { return text(effGetProgramName, 0); }
std::string PluginInstance::parameterName(VstInt32 index) { return text(effGetParamName, index); }
std::string PluginInstance::parameterLabel(VstInt32 index) { return text(effGetParamLabel, index); }
std::string PluginInstance::parameterDisplay(VstInt32 index) { return text(effGetParamDisplay, index); }

void PluginInstance::processReplacing(std::vector<std::vector<float>>& buffers, VstInt32 offset, VstInt32 frames)
{
    float* channels[4];
    for (int k = 0; k < 4; ++k)
        channels[k] = buffers[k].data() + offset;
    aeffect->processReplacing(aeffect, channels, channels, frames);
}

} // namespace vsthost
