#include "module/EmbeddedBitmaps.h"

// SonquadVST.dll carries its pictures as bitmap resources (resources.rc); the toolkit loads them
// through the module handle that DllMain keeps, so there is nothing to register.
void registerEmbeddedBitmaps() {}
