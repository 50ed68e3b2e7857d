// A small LV2 host on liblilv, the library that LV2 hosts use, for tests: instantiate a plug-in
// by URI, connect its ports, give it the features a host gives (URID map and unmap, worker,
// log, options with the block-length bounds, state:makePath and state:freePath, default state),
// send it patch:Set messages on its control atom input, collect the patch:Set messages it sends
// on its notify output, save and restore its state through lilv (which supplies state:mapPath
// and state:freePath to save and restore), and count what the plug-in allocates inside run().
//
// Threads: one test thread drives everything ([host thread] and [audio thread] are the same
// test thread, one call at a time), except the worker, which runs either on that thread after
// run() (WorkerMode::kSynchronous) or on a thread of its own (WorkerMode::kThreaded).
#pragma once

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace lv2host {

// URIs to numbers and back, thread-safe: plug-ins map on any thread but the audio thread.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);   // null for an unknown number

    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }

private:
    std::mutex lock;
    std::unordered_map<std::string, LV2_URID> ids;
    std::vector<std::unique_ptr<std::string>> uris;   // index urid - 1; stable strings for unmap
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
};

// The lilv world: every bundle on LV2_PATH (lilv's default path when unset), plus any bundle
// loaded by path.
class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Loads one bundle folder (the one a build writes) on top of LV2_PATH.
    void loadBundle(const std::string& folder);
    // The plug-in with this URI; null when the world has none.
    const LilvPlugin* plugin(const std::string& uri) const;

    LilvWorld* get() const { return world; }
    UridMap& urids() { return map; }

private:
    LilvWorld* world;
    UridMap map;
};

enum class WorkerMode {
    kSynchronous,   // scheduled work runs on the host thread at the end of run()
    kThreaded,      // scheduled work runs on the host's worker thread as soon as it is scheduled
};

struct LogEntry {
    std::string type;   // the log type's URI (log:Error, log:Warning, log:Note, log:Trace)
    std::string text;
    bool fromRun;       // logged from inside run() on the audio thread
};

// A patch:Set message the plug-in sent on its notify output.
struct PatchSet {
    std::string property;    // the property's URI
    std::string valueType;   // the value's atom type URI (atom:Path, atom:Float, ...)
    std::string text;        // the value of a path or string
};

class Plugin {
public:
    // Instantiates the plug-in; throws std::runtime_error when the world has no such plug-in, a
    // required feature is missing or instantiation fails. Control inputs start at their defaults;
    // a plug-in that requires state:loadDefaultState gets its default state restored.
    Plugin(World& world, const std::string& uri, double sampleRate, uint32_t maxBlock, WorkerMode mode);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void activate();
    void deactivate();

    // Port index by symbol, -1 when none.
    int portIndex(const std::string& symbol) const;
    // Connects an audio port to a buffer of at least maxBlock samples (the same buffer may be
    // connected to an input and an output, as hosts may do).
    void connectAudio(const std::string& symbol, float* data);
    void setControl(const std::string& symbol, float value);
    float control(const std::string& symbol) const;   // inputs and outputs

    // Queues events on the control atom input for the next run(), at frame `frame`.
    void sendPatchSetPath(const std::string& propertyUri, const std::string& path, uint32_t frame = 0);
    void sendMidi(const uint8_t* bytes, uint32_t size, uint32_t frame = 0);

    // [audio thread] One block: the plug-in's run(), then (synchronous worker) the work it
    // scheduled, then the worker's responses and end_run; then the notify output is read.
    // frames may be 0. Counts what the plug-in allocates in run(), work_response and end_run.
    void run(uint32_t frames);
    // Allocations by the plug-in during the last run() call; exact with the synchronous worker
    // (a worker thread allocating meanwhile would also be counted).
    long allocationsInLastRun() const { return lastRunAllocations; }

    // [host thread] Threaded worker: waits until every scheduled piece of work is done (its
    // response is delivered at the next run()). Synchronous worker: runs queued work now.
    void finishWork();

    const std::vector<PatchSet>& notifications() const { return patchSets; }
    void clearNotifications() { patchSets.clear(); }
    std::vector<LogEntry> log() const;
    void clearLog();

    // Saves the plug-in's state (properties and control input values) as folder/state.ttl;
    // files the state refers to are linked or copied into the folder by lilv.
    void saveState(const std::string& folder);
    // Restores a state saved by saveState from folder/state.ttl; false when it cannot be read.
    bool restoreState(const std::string& folder);

    // The folder that state:makePath creates files in.
    const std::string& scratchFolder() const { return scratch; }

private:
    struct Port;
    struct Worker;
    struct Log;

    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
    static char* makePath(LV2_State_Make_Path_Handle handle, const char* path);
    static void freePath(LV2_State_Free_Path_Handle handle, char* path);
    static const void* portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type);
    static void setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type);

    void deliverResponses();
    void readNotifications();
    void resetAtomPorts();
    void appendEvent(uint32_t frame, LV2_URID type, const void* body, uint32_t size);

    World& world;
    const LilvPlugin* plugin;
    LilvInstance* instance = nullptr;
    uint32_t maxBlock;
    std::vector<Port> ports;
    std::unique_ptr<Worker> worker;
    std::unique_ptr<Log> logger;
    std::string scratch;
    std::vector<std::vector<uint64_t>> atomBuffers;   // 8-byte aligned atom port buffers
    int controlIn = -1;                               // atom input that takes patch messages
    int notifyOut = -1;                               // atom output for notifications
    std::vector<PatchSet> patchSets;
    std::vector<const LV2_Feature*> features;         // null-terminated
    std::vector<LV2_Feature> featureData;
    LV2_State_Make_Path makePathData {};
    LV2_State_Free_Path freePathData {};
    int32_t minBlockLength = 0;                       // options: bufsz:minBlockLength
    int32_t maxBlockLength = 0;                       // options: bufsz:maxBlockLength
    LV2_Options_Option options[3] {};
    long lastRunAllocations = 0;
    bool active = false;
};

} // namespace lv2host
