// SonquadLV2: the LV2 adapter over the engine. The ports (lv2/Ports.h) adjust a calibration, the
// file chosen through the "Calibration" property or the built-in uncalibrated program; every
// port value and calibration value goes to the engine through the parameter mapping the VST
// uses (engine/ParameterMapping.h), and the outputs leave in the chosen format and orientation
// through the command-line host's step (engine/OutputConvention.h).
//
// Threads:
//   [instantiation] instantiate, cleanup, restore: nothing else runs meanwhile (restore may also
//                   hand its loading to the worker when the host gives it one to restore with).
//   [audio thread]  run, work_response, end_run: no wait, lock, allocation, I/O or message. A
//                   patch:Set of the calibration schedules a load; a loaded calibration arrives
//                   in work_response, goes into the engine by swapping pointers, and the one it
//                   replaces goes back to the worker to be freed.
//   [worker]        work: reads and prepares a calibration, frees a replaced one, logs.
//   [save]          save: may run alongside run(); reads the calibration in use under a lock that
//                   only the worker's freeing also takes.
#include "engine/Engine.h"
#include "engine/OutputConvention.h"
#include "engine/ParameterMapping.h"
#include "lv2/CalibrationFile.h"
#include "lv2/Ports.h"
#include "model/Parameters.h"
#include "platform/platform.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace lv2plugin {

namespace {

// What run() and restore() ask of the worker.
enum class Job : std::uint32_t { kLoadFile, kLoadBuiltIn, kPathTooLong, kFree };

struct RequestHead {
    Job job;
    LoadedCalibration* retired;   // kFree: the calibration to free
};

// A request as scheduled: the head, then (kLoadFile) the path and its terminating zero.
constexpr std::size_t kMaxPath = 4096;
struct Request {
    RequestHead head;
    char path[kMaxPath];
};

class SonquadLv2;
// The instance whose calibration this thread is reading: the readers' messages (a coefficient
// file that cannot be opened) go to its log.
thread_local const SonquadLv2* reading = nullptr;
void forwardMessage(void*, const char*, const char* text);

// How a port adjusts the model parameter it belongs to.
enum class Adjust { kNone, kSwitch, kSet, kFrequency, kOffset };

class SonquadLv2 {
public:
    SonquadLv2(double rate, const LV2_Feature* const* features);
    ~SonquadLv2();

    void connect(std::uint32_t port, void* data)
    {
        if (port < kPortCount)
            connections[port] = data;
    }
    void run(std::uint32_t frames);
    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, std::uint32_t size,
                           const void* data);
    LV2_Worker_Status workResponse(std::uint32_t size, const void* data);
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle, const LV2_Feature* const* features);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                             const LV2_Feature* const* features);
    // The host's log, or standard error without one. [not the audio thread]
    void log(LV2_URID type, const std::string& text) const;
    void warn(const char* text) const { log(uris.warning, text); }

private:
    float control(std::uint32_t port) const
    {
        const auto* value = static_cast<const float*>(connections[port]);
        return value && !std::isnan(*value) ? *value : defaults[port];
    }
    void readMessages();
    bool scheduleLoad(LV2_Worker_Schedule* schedule, Request& buffer, const char* path, std::size_t bytes);
    void scheduleFrees();
    void applyControls();
    void writeNotifications();
    void install(LoadedCalibration* loaded);
    LoadedCalibration* load(Job job, const char* path);

    struct Urids {
        LV2_URID path, sequence, object, blank, urid, patchSet, patchGet, property, value, calibration;
        LV2_URID error, warning, note;
    };

    engine::Engine engine;
    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* worker = nullptr;
    LV2_Log_Log* logger = nullptr;
    Urids uris {};
    LV2_Atom_Forge forge {};
    void* connections[kPortCount] = {};
    float defaults[kPortCount] = {};
    Adjust adjust[kPortCount] = {};            // per port, how it adjusts its VST parameter
    int parameterOf[kPortCount] = {};          // per port, that parameter
    float span[kPortCount] = {};               // offset ports: the parameter's span in dB

    // The audio thread's state.
    std::atomic<LoadedCalibration*> current {nullptr};   // in use; its filters are in the engine
    LoadedCalibration* retired = nullptr;                 // replaced, to be freed by the worker
    float applied[kPortCount] = {};                       // port values the engine has
    bool stale = true;                                    // the calibration changed since
    bool notify = false;                                  // report the calibration on the notify port
    engine::OutputFormat format = engine::OutputFormat::kFuMa;
    engine::Orientation orientation = engine::Orientation::kUpright;
    Request request {};                                   // run()'s request buffer

    std::mutex freeing;   // save's reading of current against the worker's freeing
};

SonquadLv2::SonquadLv2(double rate, const LV2_Feature* const* features)
{
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_URID__map))
            map = static_cast<LV2_URID_Map*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_WORKER__schedule))
            worker = static_cast<LV2_Worker_Schedule*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_LOG__log))
            logger = static_cast<LV2_Log_Log*>(features[i]->data);
    }
    if (map) {
        auto id = [&](const char* uri) { return map->map(map->handle, uri); };
        uris = {id(LV2_ATOM__Path), id(LV2_ATOM__Sequence), id(LV2_ATOM__Object), id(LV2_ATOM__Blank),
                id(LV2_ATOM__URID), id(LV2_PATCH__Set), id(LV2_PATCH__Get), id(LV2_PATCH__property),
                id(LV2_PATCH__value), id(kCalibrationUri), id(LV2_LOG__Error), id(LV2_LOG__Warning),
                id(LV2_LOG__Note)};
        lv2_atom_forge_init(&forge, map);
    }
    const std::vector<PortSpec>& table = ports();
    for (std::uint32_t port = 0; port < kPortCount; ++port) {
        const PortSpec& entry = table[port];
        defaults[port] = entry.defaultValue;
        parameterOf[port] = entry.vstParameter;
        if (entry.vstParameter < 0)
            adjust[port] = Adjust::kNone;
        else if (entry.toggled)
            adjust[port] = Adjust::kSwitch;
        else if (entry.enumeration)
            adjust[port] = Adjust::kSet;
        else if (entry.unit == Unit::kHz)
            adjust[port] = Adjust::kFrequency;
        else
            adjust[port] = Adjust::kOffset;
        span[port] = entry.maximum - entry.minimum;
    }
    engine.prepare(static_cast<float>(rate), engine::Engine::kMaxPiece);
    // This module's own copy of the platform layer: its messages come here, from every instance.
    platform::setMessageSink(&forwardMessage, nullptr);
    current.store(builtInCalibration().release());
}

SonquadLv2::~SonquadLv2()
{
    delete current.load();
    while (retired) {
        LoadedCalibration* next = retired->nextRetired;
        delete retired;
        retired = next;
    }
}

void SonquadLv2::log(LV2_URID type, const std::string& text) const
{
    if (logger)
        logger->printf(logger->handle, type, "SonquadLV2: %s\n", text.c_str());
    else
        std::fprintf(stderr, "SonquadLV2: %s\n", text.c_str());
}

void SonquadLv2::run(std::uint32_t frames)
{
    readMessages();
    scheduleFrees();
    applyControls();

    const float* inputs[4];
    float* outputs[4];
    bool connected = true;
    for (int k = 0; k < 4; ++k) {
        inputs[k] = static_cast<const float*>(connections[kCapsule1 + k]);
        outputs[k] = static_cast<float*>(connections[kOutput1 + k]);
        connected = connected && inputs[k] && outputs[k];
    }
    if (connected && frames > 0) {
        engine.process(inputs, outputs, static_cast<int>(frames));
        engine::convertOutputs(format, orientation, outputs, frames);
    }
    if (auto* latency = static_cast<float*>(connections[kLatency]))
        *latency = static_cast<float>(engine.latencySamples());
    writeNotifications();
}

void SonquadLv2::readMessages()
{
    const auto* sequence = static_cast<const LV2_Atom_Sequence*>(connections[kControl]);
    if (!sequence || !map)
        return;
    LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
        if (event->body.type != uris.object && event->body.type != uris.blank)
            continue;
        const auto* message = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (message->body.otype == uris.patchGet) {
            notify = true;
            continue;
        }
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(message, uris.property, &property, uris.value, &value, 0);
        if (message->body.otype != uris.patchSet || !property || property->type != uris.urid ||
            reinterpret_cast<const LV2_Atom_URID*>(property)->body != uris.calibration || !value ||
            value->type != uris.path)
            continue;
        const auto* path = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
        scheduleLoad(worker, request, path, strnlen(path, value->size));
    }
}

bool SonquadLv2::scheduleLoad(LV2_Worker_Schedule* schedule, Request& buffer, const char* path, std::size_t bytes)
{
    // Without a worker nothing may read a file: the calibration stays.
    if (!schedule)
        return false;
    buffer.head = {bytes == 0 ? Job::kLoadBuiltIn : bytes < kMaxPath ? Job::kLoadFile : Job::kPathTooLong, nullptr};
    std::size_t size = sizeof buffer.head;
    if (buffer.head.job == Job::kLoadFile) {
        std::memcpy(buffer.path, path, bytes);
        buffer.path[bytes] = '\0';
        size += bytes + 1;
    }
    return schedule->schedule_work(schedule->handle, static_cast<std::uint32_t>(size), &buffer) == LV2_WORKER_SUCCESS;
}

void SonquadLv2::scheduleFrees()
{
    // A full queue keeps them for the next call. A host that renders offline may free one at
    // once, inside schedule_work: the next one is taken before.
    while (retired && worker) {
        LoadedCalibration* const next = retired->nextRetired;
        const RequestHead head {Job::kFree, retired};
        if (worker->schedule_work(worker->handle, sizeof head, &head) != LV2_WORKER_SUCCESS)
            return;
        retired = next;
    }
}

void SonquadLv2::applyControls()
{
    const int formatValue = static_cast<int>(std::lround(control(kOutputFormat)));
    const int orientationValue = static_cast<int>(std::lround(control(kOrientation)));
    format = formatValue == kAmbiX ? engine::OutputFormat::kAmbiX : engine::OutputFormat::kFuMa;
    orientation = orientationValue == kInverted ? engine::Orientation::kInverted
                  : orientationValue == kEndfire ? engine::Orientation::kEndfire
                                                 : engine::Orientation::kUpright;

    bool changed = stale;
    float now[kPortCount];
    for (std::uint32_t port = 0; port < kPortCount; ++port) {
        if (adjust[port] == Adjust::kNone)
            continue;
        now[port] = control(port);
        changed = changed || now[port] != applied[port];
    }
    if (!changed)
        return;
    stale = false;

    // Each parameter of the calibration, adjusted by its port, in the order a VST program applies
    // them; the VST's program 0 at the defaults. Offsets are added in the normalised domain, so
    // an offset of 0 leaves exactly the calibration's value.
    float values[param::kCount];
    const ProgramRecord& record = current.load(std::memory_order_relaxed)->record;
    for (int p = 0; p < param::kCount; ++p)
        values[p] = record.value(p);
    for (std::uint32_t port = 0; port < kPortCount; ++port) {
        if (adjust[port] == Adjust::kNone)
            continue;
        applied[port] = now[port];
        float& v = values[parameterOf[port]];
        switch (adjust[port]) {
        case Adjust::kSwitch:
            // A toggled port is on above 0 and off at or below it (and at NaN).
            if (!(now[port] > 0.0f))
                v = 0.0f;
            break;
        case Adjust::kSet: {
            const long set = std::lround(now[port]);
            if (set >= 0 && set < kCorrectionAsCalibrated)
                v = param::filterSetValue(static_cast<int>(set));
            break;
        }
        case Adjust::kFrequency:
            if (now[port] > kLfAsCalibrated)
                v = param::lfFrequencyValue(std::clamp(now[port], param::lfFrequencyHz(0.0f), param::lfFrequencyHz(1.0f)));
            break;
        case Adjust::kOffset:
            v += now[port] / span[port];
            break;
        case Adjust::kNone:
            break;
        }
    }
    for (int p : param::kProgramApplyOrder)
        engine::applyParameter(engine, p, values[p]);
}

void SonquadLv2::writeNotifications()
{
    auto* sequence = static_cast<LV2_Atom_Sequence*>(connections[kNotify]);
    if (!sequence || !map)
        return;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(sequence), sequence->atom.size);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    const LoadedCalibration* calibration = current.load(std::memory_order_relaxed);
    if (notify && !calibration->path.empty()) {
        LV2_Atom_Forge_Frame set;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &set, 0, uris.patchSet);
        lv2_atom_forge_key(&forge, uris.property);
        lv2_atom_forge_urid(&forge, uris.calibration);
        lv2_atom_forge_key(&forge, uris.value);
        lv2_atom_forge_path(&forge, calibration->path.c_str(), static_cast<std::uint32_t>(calibration->path.size()));
        lv2_atom_forge_pop(&forge, &set);
    }
    notify = false;
    lv2_atom_forge_pop(&forge, &frame);
}

void SonquadLv2::install(LoadedCalibration* loaded)
{
    // The new set goes into the engine and the engine's old one into the calibration it belonged
    // to, which then waits to be freed: pointers only.
    engine.swapPostMatrixSet(kCalibrationSet, loaded->filters);
    LoadedCalibration* old = current.load(std::memory_order_relaxed);
    for (int k = 0; k < 4; ++k)
        old->filters[k].swap(loaded->filters[k]);
    current.store(loaded, std::memory_order_release);
    old->nextRetired = retired;
    retired = old;
    stale = true;
    notify = true;
}

LoadedCalibration* SonquadLv2::load(Job job, const char* path)
{
    if (job == Job::kLoadBuiltIn)
        return builtInCalibration().release();
    if (job == Job::kPathTooLong) {
        log(uris.error, "calibration path longer than " + std::to_string(kMaxPath - 1) + " bytes; the calibration in use stays");
        return nullptr;
    }
    const DiagnosticSink notes = [this](const Diagnostic& d) {
        log(uris.note, d.file + (d.line ? ":" + std::to_string(d.line) : std::string()) +
                           (d.key.empty() ? std::string() : " " + d.key) + ": " + d.reason);
    };
    std::string why;
    std::unique_ptr<LoadedCalibration> loaded;
    reading = this;
    try {
        loaded = loadCalibrationFile(path, engine.setRate(), why, &notes);
    } catch (const std::exception& e) {
        why = e.what();   // out of memory, most likely
    }
    reading = nullptr;
    if (!loaded) {
        log(uris.error, std::string(path) + ": " + why + "; the calibration in use stays");
        return nullptr;
    }
    if (loaded->missingResponses > 0)
        log(uris.warning, std::string(path) + ": No filter found for sampling rate " +
                              std::to_string(static_cast<int>(engine.setRate())) + " Hz (" +
                              std::to_string(loaded->missingResponses) +
                              " coefficient arrays); its correction passes the signal unchanged");
    return loaded.release();
}

LV2_Worker_Status SonquadLv2::work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                                   std::uint32_t size, const void* data)
{
    if (size < sizeof(RequestHead))
        return LV2_WORKER_ERR_UNKNOWN;
    RequestHead head;
    std::memcpy(&head, data, sizeof head);
    if (head.job == Job::kFree) {
        const std::lock_guard<std::mutex> guard(freeing);
        delete head.retired;
        return LV2_WORKER_SUCCESS;
    }
    const char* path = static_cast<const char*>(data) + sizeof head;
    if (head.job == Job::kLoadFile && (size <= sizeof head || path[size - sizeof head - 1] != '\0'))
        return LV2_WORKER_ERR_UNKNOWN;
    LoadedCalibration* loaded = load(head.job, path);
    if (!loaded)
        return LV2_WORKER_SUCCESS;
    if (respond(handle, sizeof loaded, &loaded) != LV2_WORKER_SUCCESS) {
        log(uris.error, "the host's worker could not answer; the calibration in use stays");
        delete loaded;
    }
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status SonquadLv2::workResponse(std::uint32_t size, const void* data)
{
    if (size != sizeof(LoadedCalibration*))
        return LV2_WORKER_ERR_UNKNOWN;
    LoadedCalibration* loaded;
    std::memcpy(&loaded, data, sizeof loaded);
    install(loaded);
    return LV2_WORKER_SUCCESS;
}

void forwardMessage(void*, const char*, const char* text)
{
    if (reading)
        reading->warn(text);
    else
        std::fprintf(stderr, "SonquadLV2: %s\n", text);
}

template <typename T>
T* feature(const LV2_Feature* const* features, const char* uri)
{
    for (int i = 0; features && features[i]; ++i)
        if (!std::strcmp(features[i]->URI, uri))
            return static_cast<T*>(features[i]->data);
    return nullptr;
}

// Frees a path the host's state:mapPath made, with its state:freePath when it gives one.
void freePath(const LV2_Feature* const* features, char* path)
{
    if (auto* host = feature<LV2_State_Free_Path>(features, LV2_STATE__freePath))
        host->free_path(host->handle, path);
    else
        std::free(path);
}

LV2_State_Status SonquadLv2::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                                  const LV2_Feature* const* features)
{
    if (!map)
        return LV2_STATE_ERR_NO_FEATURE;
    const std::lock_guard<std::mutex> guard(freeing);
    const LoadedCalibration* calibration = current.load(std::memory_order_acquire);
    if (calibration->path.empty())
        return LV2_STATE_SUCCESS;   // the built-in program: nothing to store
    auto* mapPath = feature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
    char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, calibration->path.c_str())
                             : strdup(calibration->path.c_str());
    if (!abstract)
        return LV2_STATE_ERR_UNKNOWN;
    const LV2_State_Status status = store(handle, uris.calibration, abstract, std::strlen(abstract) + 1, uris.path,
                                          LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    freePath(features, abstract);
    return status;
}

LV2_State_Status SonquadLv2::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                     const LV2_Feature* const* features)
{
    if (!map)
        return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const void* value = retrieve(handle, uris.calibration, &size, &type, &flags);
    std::string path;   // empty: no calibration saved, the built-in program
    if (value && type == uris.path) {
        const std::string abstract(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
        auto* mapPath = feature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
        char* absolute = mapPath ? mapPath->absolute_path(mapPath->handle, abstract.c_str()) : strdup(abstract.c_str());
        if (absolute) {
            path = absolute;
            freePath(features, absolute);
        }
    }
    // A host that restores while the plug-in runs gives a worker for it: the load goes there and
    // reaches run() as a patch:Set's does.
    if (auto* schedule = feature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule)) {
        auto message = std::make_unique<Request>();
        return scheduleLoad(schedule, *message, path.c_str(), path.size()) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
    }
    // Otherwise nothing else runs now: load, install and free here.
    LoadedCalibration* loaded = load(path.empty() ? Job::kLoadBuiltIn : path.size() < kMaxPath ? Job::kLoadFile
                                                                                                : Job::kPathTooLong,
                                     path.c_str());
    if (!loaded)
        return LV2_STATE_SUCCESS;
    install(loaded);
    while (retired) {
        LoadedCalibration* next = retired->nextRetired;
        delete retired;
        retired = next;
    }
    return LV2_STATE_SUCCESS;
}

// The C entry points.
SonquadLv2* self(LV2_Handle handle) { return static_cast<SonquadLv2*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features)
{
    try {
        return new SonquadLv2(rate, features);
    } catch (...) {
        return nullptr;
    }
}

const LV2_Worker_Interface kWorker = {
    [](LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, std::uint32_t size,
       const void* data) { return self(h)->work(respond, handle, size, data); },
    [](LV2_Handle h, std::uint32_t size, const void* data) { return self(h)->workResponse(size, data); },
    nullptr,
};

const LV2_State_Interface kState = {
    [](LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, std::uint32_t,
       const LV2_Feature* const* features) { return self(h)->save(store, handle, features); },
    [](LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, std::uint32_t,
       const LV2_Feature* const* features) { return self(h)->restore(retrieve, handle, features); },
};

const LV2_Descriptor kDescriptor = {
    kPluginUri,
    instantiate,
    [](LV2_Handle h, std::uint32_t port, void* data) { self(h)->connect(port, data); },
    nullptr,
    [](LV2_Handle h, std::uint32_t frames) { self(h)->run(frames); },
    nullptr,
    [](LV2_Handle h) { delete self(h); },
    [](const char* uri) -> const void* {
        if (!std::strcmp(uri, LV2_WORKER__interface))
            return &kWorker;
        if (!std::strcmp(uri, LV2_STATE__interface))
            return &kState;
        return nullptr;
    },
};

} // namespace

} // namespace lv2plugin

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &lv2plugin::kDescriptor : nullptr;
}
