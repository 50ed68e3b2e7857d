#include "calibration/CalibrationFolders.h"

#include "platform/platform.h"

#include <cstdlib>

namespace calibration {

std::vector<std::string> calibrationFolders()
{
    const char* override = std::getenv(kFolderOverride);
    if (override && *override)
        return {override};
    std::vector<std::string> folders;
    for (const std::string& data : platform::sharedDataFolders())
        folders.push_back(platform::joinPath(platform::joinPath(platform::joinPath(data, "Morlane"), "Quillo"),
                                             "calibrations"));
    return folders;
}

} // namespace calibration
