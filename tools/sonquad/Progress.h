// A progress bar on standard error while files render: drawn only when standard error is a
// terminal (and not asked to be quiet), redrawn at most ten times a second, cleared when done.
// Messages and warnings printed meanwhile go through printLine, which clears the bar first.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace cli {

bool stderrIsTerminal();

// One line of the bar for a terminal width columns wide: the label, the bar, the percentage and
// the estimated time left (when known, in seconds; negative: unknown).
std::string progressLine(std::string_view label, double fraction, double secondsLeft, int width);

class Progress {
public:
    // totalFrames: frames all files together will take; filesTotal: files in the batch.
    Progress(bool enabled, std::uint64_t totalFrames, int filesTotal);
    ~Progress();

    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance(std::uint64_t frames);   // [any thread]
    void fileDone();                      // [any thread]
    void finish();                        // clears the bar

    // Prints line and a line break on standard error, clearing the bar of the running progress
    // first (it is redrawn at its next advance). [any thread]
    static void printLine(std::string_view line);
    // The same on standard output, for results printed while the bar runs. [any thread]
    static void printResult(std::string_view line);

private:
    void draw(bool force);

    const bool enabled;                             // a terminal, not quiet
    const std::uint64_t totalFrames;                // frames of the whole batch
    const int filesTotal;                           // files of the whole batch
    std::atomic<std::uint64_t> framesDone {0};
    std::atomic<int> filesDone {0};
    std::chrono::steady_clock::time_point started;  // for the time left
    std::chrono::steady_clock::time_point lastDraw; // redraws at most every 100 ms
    bool drawn = false;                             // a bar is on the terminal's last line
    bool finished = false;
};

} // namespace cli
