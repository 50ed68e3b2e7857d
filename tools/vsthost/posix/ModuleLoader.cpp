#include "tools/vsthost/ModuleLoader.h"

#include <dlfcn.h>

namespace vsthost {

void* loadModule(const std::string& path, std::string& error)
{
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        error = reason ? reason : "cannot load module";
    }
    return module;
}

void* findSymbol(void* module, const char* name)
{
    return dlsym(module, name);
}

void unloadModule(void* module)
{
    if (module)
        dlclose(module);
}

} // namespace vsthost
