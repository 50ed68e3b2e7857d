#include "tools/sonquad/Progress.h"

#include "tools/sonquad/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

// The one bar on the terminal and the lock that orders everything written to standard error
// while it is shown.
std::mutex terminalLock;
Progress* shownProgress = nullptr;

int terminalWidth()
{
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20)
        return size.ws_col;
    return 80;
}

std::string clockText(double seconds)
{
    const long total = static_cast<long>(std::lround(seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

} // namespace

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string progressLine(std::string_view label, double fraction, double secondsLeft, int width)
{
    fraction = std::clamp(std::isfinite(fraction) ? fraction : 0.0, 0.0, 1.0);
    const int percent = static_cast<int>(std::floor(fraction * 100.0));
    // The time left keeps a fixed place, blank until known, so the bar does not jump.
    const std::string left = secondsLeft >= 0.0 && std::isfinite(secondsLeft) ? clockText(secondsLeft) + " left" : "";
    std::string tail = " " + padLeft(std::to_string(percent) + "%", 4) + "  " + padRight(left, 12);
    std::string head(label);
    // Keep at least a 10-column bar; the label gives way first.
    const int room = width - 1 - static_cast<int>(tail.size()) - 3;
    if (static_cast<int>(head.size()) > room - 10)
        head = head.substr(0, static_cast<std::size_t>(std::max(0, room - 10)));
    const int barWidth = std::max(1, room - static_cast<int>(head.size()));
    const int filled = static_cast<int>(std::floor(fraction * barWidth));
    std::string line = head + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(barWidth - filled), '.') + "]" + tail;
    return line;
}

Progress::Progress(bool enabled, std::uint64_t totalFrames, int filesTotal)
    : enabled(enabled), totalFrames(totalFrames), filesTotal(filesTotal), started(std::chrono::steady_clock::now())
{
    if (enabled) {
        std::lock_guard<std::mutex> lock(terminalLock);
        shownProgress = this;
    }
}

Progress::~Progress() { finish(); }

void Progress::advance(std::uint64_t frames)
{
    framesDone.fetch_add(frames, std::memory_order_relaxed);
    draw(false);
}

void Progress::fileDone()
{
    filesDone.fetch_add(1, std::memory_order_relaxed);
    draw(true);
}

void Progress::draw(bool force)
{
    if (!enabled)
        return;
    std::unique_lock<std::mutex> lock(terminalLock, std::try_to_lock);
    if (!lock.owns_lock() || finished)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn && now - lastDraw < std::chrono::milliseconds(100))
        return;
    lastDraw = now;
    const double fraction = totalFrames ? static_cast<double>(framesDone.load()) / static_cast<double>(totalFrames) : 0.0;
    const double elapsed = std::chrono::duration<double>(now - started).count();
    const double left = fraction > 0.02 && elapsed > 0.5 ? elapsed * (1.0 - fraction) / fraction : -1.0;
    std::string label = filesTotal > 1 ? "rendering " + std::to_string(filesDone.load()) + "/" + std::to_string(filesTotal)
                                       : std::string("rendering");
    const std::string line = progressLine(label, fraction, left, terminalWidth());
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    drawn = true;
}

void Progress::finish()
{
    if (!enabled)
        return;
    std::lock_guard<std::mutex> lock(terminalLock);
    if (finished)
        return;
    finished = true;
    if (drawn)
        std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    drawn = false;
    if (shownProgress == this)
        shownProgress = nullptr;
}

namespace {
void printAboveBar(std::FILE* stream, std::string_view line, Progress* shown, bool& drawn)
{
    if (shown && drawn) {
        std::fprintf(stderr, "\r\x1b[K");
        std::fflush(stderr);
        drawn = false;
    }
    std::fprintf(stream, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stream);
}
} // namespace

void Progress::printLine(std::string_view line)
{
    std::lock_guard<std::mutex> lock(terminalLock);
    bool none = false;
    printAboveBar(stderr, line, shownProgress, shownProgress ? shownProgress->drawn : none);
}

void Progress::printResult(std::string_view line)
{
    std::lock_guard<std::mutex> lock(terminalLock);
    bool none = false;
    printAboveBar(stdout, line, shownProgress, shownProgress ? shownProgress->drawn : none);
}

} // namespace cli
