// Loads the built plug-in module (path in SONQUAD_MODULE, set by CTest) once per test binary and
// creates effects through its exported entry, as a host does.
#pragma once

#include "tools/vsthost/PluginHost.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace testhost {

// An empty calibration folder, so that every plug-in of these tests starts with the built-in
// programs only, whatever the machine holds; tests that need calibrations set their own.
inline void useEmptyCalibrationFolder()
{
    const auto folder = std::filesystem::temp_directory_path() / "sonquad-tests-no-calibrations";
    std::filesystem::create_directories(folder);
    setenv("SONQUAD_CALIBRATION_DIR", folder.string().c_str(), 0);
}

inline const vsthost::PluginModule& module()
{
    static std::unique_ptr<vsthost::PluginModule> loaded = [] {
        useEmptyCalibrationFolder();
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
