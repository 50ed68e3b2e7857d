// The module's entry point: the host calls VSTPluginMain (also exported as main) with its
// callback and receives the plug-in's descriptor.
#include "host/vst2.h"
#include "module/ASonquadEdit.h"

#include <new>

#if defined(_WIN32)
#define SONQUAD_EXPORT extern "C" __declspec(dllexport)
#else
#define SONQUAD_EXPORT extern "C" __attribute__((visibility("default")))
#endif

SONQUAD_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster)
{
    // A host that does not answer the version query is not a VST 2 host.
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    try {
        auto* plugin = new (std::nothrow) ASonquadEdit(audioMaster);
        return plugin ? plugin->getAeffect() : nullptr;
    } catch (...) {
        // Construction that runs out of memory refuses the load instead of ending the host.
        return nullptr;
    }
}

#if !defined(_WIN32)
// Older Linux hosts look the entry up under the name "main".
SONQUAD_EXPORT AEffect* vstMainAlias(audioMasterCallback audioMaster) __asm__("main");
AEffect* vstMainAlias(audioMasterCallback audioMaster)
{
    return VSTPluginMain(audioMaster);
}
#endif
