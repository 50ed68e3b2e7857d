#include "tools/vsthost/ModuleLoader.h"

#include <windows.h>

namespace vsthost {

namespace {

// The system's text for an error code, without its trailing line break.
std::string systemErrorText(DWORD code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

} // namespace

void* loadModule(const std::string& path, std::string& error)
{
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module)
        error = systemErrorText(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* findSymbol(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void unloadModule(void* module)
{
    if (module)
        FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace vsthost
