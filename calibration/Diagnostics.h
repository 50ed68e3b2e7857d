// What the calibration readers passed over in a file, and why. The plug-in passes no sink and
// stays silent, as a calibration scan must; the command-line host collects the diagnostics to
// explain a calibration file to its owner line by line.
// Threads: built and sent on the host thread that reads the calibration folder.
#pragma once

#include <functional>
#include <string>
#include <utility>

struct Diagnostic {
    std::string file;     // path of the calibration file, or the folder for a scan-level note
    int line = 0;         // text file: line number from 1; configuration file: message number
                          // from 1; 0: the file or folder as a whole
    std::string key;      // the key or message address concerned; empty when none
    std::string reason;   // what was passed over or refused, and why
};

using DiagnosticSink = std::function<void(const Diagnostic&)>;

// Sends the diagnostics of one file to an optional sink. Without a sink nothing is built or sent.
class DiagnosticReporter {
public:
    DiagnosticReporter(const DiagnosticSink* sink, std::string file)
        : sink(sink && *sink ? sink : nullptr), file(std::move(file))
    {
    }

    // True when someone listens: callers may skip composing texts otherwise.
    bool active() const { return sink != nullptr; }

    void report(int line, std::string key, std::string reason) const
    {
        if (sink)
            (*sink)(Diagnostic {file, line, std::move(key), std::move(reason)});
    }

private:
    const DiagnosticSink* sink;   // listener, null when none
    std::string file;             // the file every report names
};
