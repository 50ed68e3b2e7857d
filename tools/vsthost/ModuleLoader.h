// Loading a plug-in module and finding its entry point: dlopen on POSIX, LoadLibrary on Windows.
#pragma once

#include <string>

namespace vsthost {

// The loaded module, or null with the reason in error.
void* loadModule(const std::string& path, std::string& error);
void* findSymbol(void* module, const char* name);
void unloadModule(void* module);

} // namespace vsthost
