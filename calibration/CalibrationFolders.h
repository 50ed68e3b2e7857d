// Where the calibrations are: the folders both calibration scans search, in order.
#pragma once

#include <string>
#include <vector>

namespace calibration {

// Set and not empty, this environment variable names the only calibration folder. Tests and the
// command-line host use it; users may too.
inline constexpr const char* kFolderOverride = "SONQUAD_CALIBRATION_DIR";

// The calibration folders in the order they are searched: the override alone when it is set,
// otherwise Morlane/Quillo/calibrations in each of the platform's shared data folders (on Linux
// $XDG_DATA_HOME or ~/.local/share, then /usr/share; on Windows "c:\Program Files", then
// "c:\Program Files (x86)"). [host thread]
std::vector<std::string> calibrationFolders();

} // namespace calibration
