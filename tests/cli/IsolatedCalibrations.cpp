// Every test of this binary, and every sonquad it starts, sees an empty calibration folder of
// its own: what a user has installed on the machine must not change the programs the tests
// expect. The folder is removed when the test program ends.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

class EmptyCalibrationFolder {
public:
    EmptyCalibrationFolder()
        : folder(std::filesystem::temp_directory_path() / ("sonquad-cli-no-calibrations-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(folder);
        ::setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
    }
    ~EmptyCalibrationFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

private:
    std::filesystem::path folder;   // empty for the whole run
};

const EmptyCalibrationFolder kIsolated;

} // namespace
