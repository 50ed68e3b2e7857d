// The one kind of failure the command-line host reports: a readable sentence for one line on
// standard error ("sonquad: error: <what>"), and the exit status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

inline constexpr int kExitFailure = 1;   // the work could not be done (files, values, programs)
inline constexpr int kExitUsage = 2;     // the command line itself is wrong

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& what, int exitCode = kExitFailure)
        : std::runtime_error(what), code(exitCode)
    {
    }
    int exitCode() const { return code; }

private:
    int code;   // process exit status for this failure
};

// A mistake in the command line: unknown command or option, a missing or malformed argument.
class UsageError : public CliError {
public:
    explicit UsageError(const std::string& what) : CliError(what, kExitUsage) {}
};

} // namespace cli
