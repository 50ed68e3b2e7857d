// Writes the bundle's description, manifest.ttl and SonquadLV2.ttl, from the port table
// (lv2/Ports.h). Numbers are written with '.' as the decimal point whatever the locale.
#pragma once

#include <string>

namespace lv2plugin {

std::string manifestTurtle();
std::string pluginTurtle();

} // namespace lv2plugin
