// A small LV2 host on liblilv, the library LV2 hosts use: instantiates a plug-in of a bundle with
// URID map and unmap, a worker and a log; sends patch:Set paths on its control atom input and
// collects those it sends on its notify output; saves and restores the plug-in's own state
// through lilv (which gives state:mapPath; port values are the host's, as in most hosts); counts
// what the plug-in allocates on the audio thread.
//
// Threads: the test thread does everything. Scheduled work is done at once, as hosts do when
// they render offline (its allocations are not counted); the responses go to work_response after
// run(), counted with it, as the audio thread would take them.
#pragma once

#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace lv2host {

struct LogEntry {
    std::string type;   // the log type's URI
    std::string text;
};

class Plugin {
public:
    // The plug-in of this URI from the bundle folder, activated, its control inputs at their
    // defaults; throws std::runtime_error when it is not there or refuses.
    Plugin(const std::string& bundle, const std::string& uri, double rate);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    LilvWorld* world() const { return lilvWorld; }
    const LilvPlugin* description() const { return plugin; }
    void connectAudio(std::uint32_t port, float* data) { lilv_instance_connect_port(instance, port, data); }
    void setControl(const std::string& symbol, float value) { ports[find(symbol)].value = value; }
    float control(const std::string& symbol) const { return ports[find(symbol)].value; }

    // Queues a patch:Set of property to an atom:Path for the next run().
    void sendPatchSetPath(const std::string& property, const std::string& path);
    // run(frames), then the responses to the work it scheduled (finishWork). Counts the
    // allocations of run() and work_response.
    void run(std::uint32_t frames);
    void finishWork();
    long allocationsInLastRun() const { return allocations; }

    std::vector<std::string> takeNotifiedPaths();   // patch:Set paths sent since the last call
    std::vector<LogEntry> takeLog();
    int addLog(LV2_URID type, const char* format, va_list args);   // the log feature's

    // The plug-in's state in folder/state.ttl through lilv (files linked there by it); restore is
    // false without one.
    void saveState(const std::string& folder);
    bool restoreState(const std::string& folder);

private:
    struct Port {
        std::string symbol;
        bool control = false, atom = false, input = false;
        float value = 0.0f;
        std::vector<std::uint64_t> buffer;   // atom ports
    };
    LV2_URID map(const char* uri);
    int find(const std::string& symbol) const;
    void resetAtoms();

    LilvWorld* lilvWorld;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    std::unordered_map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;   // urid - 1
    LV2_URID_Map mapFeature {};
    LV2_URID_Unmap unmapFeature {};
    LV2_Worker_Schedule schedule {};
    LV2_Log_Log logFeature {};
    std::vector<LV2_Feature> featureData;
    std::vector<const LV2_Feature*> features;
    std::vector<Port> ports;
    std::vector<std::vector<char>> responses;
    std::vector<std::string> notified;
    std::vector<LogEntry> logged;
    long allocations = 0;
};

} // namespace lv2host
