// The module's pictures, handed to the toolkit before an editor loads them: on Linux the bitmaps
// compiled into the module as data (resources/), on Windows nothing, since the DLL carries them
// as bitmap resources that the toolkit loads through the module handle DllMain keeps.
#pragma once

// [host thread, any number of times from any number of threads] Registers them once.
void registerEmbeddedBitmaps();
