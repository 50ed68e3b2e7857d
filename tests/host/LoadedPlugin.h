// Loads the built plug-in module (path in SONQUAD_MODULE, set by CTest) once per test binary and
// creates effects through its exported entry, as a host does.
#pragma once

#include "tools/vsthost/PluginHost.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace testhost {

inline const vsthost::PluginModule& module()
{
    static std::unique_ptr<vsthost::PluginModule> loaded = [] {
        const char* path = std::getenv("SONQUAD_MODULE");
        std::string error;
        auto m = vsthost::PluginModule::open(path ? path : "SonquadVST.so", error);
        if (!m) {
            ADD_FAILURE() << "cannot load the plug-in module: " << error;
            std::abort();
        }
        return m;
    }();
    return *loaded;
}

inline std::unique_ptr<vsthost::PluginInstance> createPlugin(audioMasterCallback callback = vsthost::defaultHostCallback)
{
    auto plugin = vsthost::PluginInstance::create(module(), callback);
    if (!plugin)
        ADD_FAILURE() << "the plug-in refused to load";
    return plugin;
}

} // namespace testhost
