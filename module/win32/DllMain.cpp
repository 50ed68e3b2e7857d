// The Windows DLL entry: keeps the module's instance handle, from which the editor loads its
// background bitmap resource.
#include "platform/platform.h"

#include <windows.h>

// [loader thread] Called by the Windows loader on process and thread attach and detach; every
// call stores the handle, none refuses the load.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/)
{
    platform::setModuleHandle(instance);
    return TRUE;
}
