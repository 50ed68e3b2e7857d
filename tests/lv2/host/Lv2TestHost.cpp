#include "Lv2TestHost.h"

#include "tests/support/AllocationCounter.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <semaphore>
#include <stdexcept>
#include <thread>

namespace lv2host {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kAtomBufferBytes = 64 * 1024;   // per atom port: room for many messages
constexpr std::size_t kRingBytes = 256 * 1024;        // worker requests or responses in flight
constexpr std::size_t kLogEntries = 256;              // messages kept; later ones are counted only
constexpr std::size_t kLogText = 512;                 // characters kept of each message

// The plug-in whose run() this thread is inside, so that the log can tell messages from run().
thread_local const void* runningPlugin = nullptr;

// Messages of [uint32 size][bytes], one writer and one reader, no allocation and no lock:
// the plug-in schedules work from run(), which must not wait.
class MessageRing {
public:
    bool write(const void* data, uint32_t size)
    {
        const std::size_t head = writeIndex.load(std::memory_order_relaxed);
        const std::size_t tail = readIndex.load(std::memory_order_acquire);
        if (kRingBytes - (head - tail) < sizeof size + size)
            return false;
        copyIn(head, &size, sizeof size);
        copyIn(head + sizeof size, data, size);
        writeIndex.store(head + sizeof size + size, std::memory_order_release);
        return true;
    }

    // Reads the next message into buffer; false when there is none.
    bool read(std::vector<char>& buffer)
    {
        const std::size_t tail = readIndex.load(std::memory_order_relaxed);
        if (tail == writeIndex.load(std::memory_order_acquire))
            return false;
        uint32_t size = 0;
        copyOut(tail, &size, sizeof size);
        buffer.resize(size);
        copyOut(tail + sizeof size, buffer.data(), size);
        readIndex.store(tail + sizeof size + size, std::memory_order_release);
        return true;
    }

    // Reads into a fixed buffer (for the audio thread); false when there is none or it is larger.
    bool read(char* buffer, std::size_t capacity, uint32_t& size)
    {
        const std::size_t tail = readIndex.load(std::memory_order_relaxed);
        if (tail == writeIndex.load(std::memory_order_acquire))
            return false;
        copyOut(tail, &size, sizeof size);
        if (size > capacity)
            return false;
        copyOut(tail + sizeof size, buffer, size);
        readIndex.store(tail + sizeof size + size, std::memory_order_release);
        return true;
    }

private:
    void copyIn(std::size_t at, const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            storage[(at + i) % kRingBytes] = bytes[i];
    }
    void copyOut(std::size_t at, void* data, std::size_t size) const
    {
        auto* bytes = static_cast<char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = storage[(at + i) % kRingBytes];
    }

    std::array<char, kRingBytes> storage {};
    std::atomic<std::size_t> writeIndex {0};   // bytes ever written
    std::atomic<std::size_t> readIndex {0};    // bytes ever read
};

} // namespace

// ---------------------------------------------------------------------------------------------

UridMap::UridMap()
{
    mapData.handle = this;
    mapData.map = [](LV2_URID_Map_Handle self, const char* uri) { return static_cast<UridMap*>(self)->map(uri); };
    unmapData.handle = this;
    unmapData.unmap = [](LV2_URID_Unmap_Handle self, LV2_URID urid) {
        return static_cast<UridMap*>(self)->unmap(urid);
    };
}

LV2_URID UridMap::map(const char* uri)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto found = ids.find(uri);
    if (found != ids.end())
        return found->second;
    uris.push_back(std::make_unique<std::string>(uri));
    const auto id = static_cast<LV2_URID>(uris.size());
    ids.emplace(uri, id);
    return id;
}

const char* UridMap::unmap(LV2_URID urid)
{
    std::lock_guard<std::mutex> guard(lock);
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1]->c_str() : nullptr;
}

// ---------------------------------------------------------------------------------------------

World::World() : world(lilv_world_new())
{
    lilv_world_load_all(world);
}

World::~World() { lilv_world_free(world); }

void World::loadBundle(const std::string& folder)
{
    std::string path = fs::absolute(folder).string();
    if (path.empty() || path.back() != '/')
        path += '/';
    LilvNode* uri = lilv_new_file_uri(world, nullptr, path.c_str());
    lilv_world_load_bundle(world, uri);
    lilv_node_free(uri);
}

const LilvPlugin* World::plugin(const std::string& uri) const
{
    LilvNode* node = lilv_new_uri(world, uri.c_str());
    const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    return found;
}

// ---------------------------------------------------------------------------------------------

struct Plugin::Port {
    enum class Kind { kAudio, kControl, kAtom, kOther };
    std::string symbol;
    Kind kind = Kind::kOther;
    bool input = false;
    float value = 0.0f;   // control ports: the host's value storage
    int atomBuffer = -1;  // atom ports: index into atomBuffers
};

struct Plugin::Worker {
    Plugin& owner;
    WorkerMode mode;
    const LV2_Worker_Interface* interface = nullptr;
    LV2_Worker_Schedule schedule {};
    MessageRing requests;
    MessageRing responses;
    std::array<char, 64 * 1024> response {};   // one response, read on the audio thread
    std::atomic<int> pending {0};               // requests scheduled and not yet worked
    std::counting_semaphore<1 << 20> wake {0};
    std::atomic<bool> stopping {false};
    std::thread thread;

    Worker(Plugin& plugin, WorkerMode workerMode) : owner(plugin), mode(workerMode)
    {
        schedule.handle = this;
        schedule.schedule_work = &Plugin::scheduleWork;
    }

    // Runs every queued request through the plug-in's work().
    void workQueued()
    {
        std::vector<char> request;
        while (requests.read(request)) {
            if (interface)
                interface->work(lilv_instance_get_handle(owner.instance), &Plugin::respond, this,
                                static_cast<uint32_t>(request.size()), request.data());
            pending.fetch_sub(1, std::memory_order_release);
            pending.notify_all();
        }
    }

    void start()
    {
        if (mode != WorkerMode::kThreaded)
            return;
        thread = std::thread([this] {
            for (;;) {
                wake.acquire();
                workQueued();
                if (stopping.load())
                    return;
            }
        });
    }

    // Finishes the work already scheduled (a plug-in may have scheduled the release of memory,
    // as the example sampler does after installing a sample), then ends the thread.
    void stop()
    {
        if (thread.joinable()) {
            stopping = true;
            wake.release();
            thread.join();
        }
        workQueued();
    }
};

struct Plugin::Log {
    struct Entry {
        LV2_URID type = 0;
        bool fromRun = false;
        char text[kLogText] = {};
    };
    Plugin& owner;
    LV2_Log_Log feature {};
    std::mutex lock;                       // the worker thread may log while the test reads
    std::array<Entry, kLogEntries> entries;
    std::size_t count = 0;                 // messages logged, kept or not

    explicit Log(Plugin& plugin) : owner(plugin)
    {
        feature.handle = this;
        feature.printf = &Log::print;
        feature.vprintf = [](LV2_Log_Handle self, LV2_URID type, const char* format, va_list args) {
            return static_cast<Log*>(self)->add(type, format, args);
        };
    }

    static int print(LV2_Log_Handle self, LV2_URID type, const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        const int written = static_cast<Log*>(self)->add(type, format, args);
        va_end(args);
        return written;
    }

    // Formats into a fixed entry: the plug-in may log from run(), where the host must not
    // allocate either (the allocation count of run() would include it).
    int add(LV2_URID type, const char* format, va_list args)
    {
        std::lock_guard<std::mutex> guard(lock);
        const std::size_t index = count++;
        if (index >= entries.size())
            return 0;
        Entry& entry = entries[index];
        entry.type = type;
        entry.fromRun = runningPlugin == &owner;
        return std::vsnprintf(entry.text, sizeof entry.text, format, args);
    }
};

// ---------------------------------------------------------------------------------------------

Plugin::Plugin(World& lilvWorld, const std::string& uri, double sampleRate, uint32_t maxBlockLength,
               WorkerMode mode)
    : world(lilvWorld), plugin(lilvWorld.plugin(uri)), maxBlock(maxBlockLength)
{
    if (!plugin)
        throw std::runtime_error("no LV2 plug-in <" + uri + "> in the world");
    UridMap& urids = world.urids();
    LilvWorld* w = world.get();

    worker = std::make_unique<Worker>(*this, mode);
    logger = std::make_unique<Log>(*this);
    scratch = (fs::temp_directory_path() / ("lv2host-scratch-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)))).string();

    makePathData = {this, &Plugin::makePath};
    freePathData = {this, &Plugin::freePath};
    // Block lengths: any length from 0 to maxBlock; the options feature tells the plug-in so.
    maxBlockLength = static_cast<int32_t>(maxBlock);
    const LV2_URID atomInt = urids.map(LV2_ATOM__Int);
    options[0] = {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), atomInt, &minBlockLength};
    options[1] = {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), atomInt, &maxBlockLength};
    options[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};

    featureData = {
        {LV2_URID__map, urids.mapFeature()},
        {LV2_URID__unmap, urids.unmapFeature()},
        {LV2_WORKER__schedule, &worker->schedule},
        {LV2_LOG__log, &logger->feature},
        {LV2_STATE__makePath, &makePathData},
        {LV2_STATE__freePath, &freePathData},
        {LV2_OPTIONS__options, options},
        {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        {LV2_STATE__loadDefaultState, nullptr},
        {LV2_STATE__threadSafeRestore, nullptr},
    };
    for (const LV2_Feature& feature : featureData)
        features.push_back(&feature);
    features.push_back(nullptr);

    // Refuse plug-ins that require what this host does not give, as real hosts do.
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH (nodes, i, required) {
        const std::string feature = lilv_node_as_uri(lilv_nodes_get(required, i));
        bool given = false;
        for (const LV2_Feature& offered : featureData)
            given = given || feature == offered.URI;
        if (!given) {
            lilv_nodes_free(required);
            throw std::runtime_error("<" + uri + "> requires <" + feature + ">, which this host does not give");
        }
    }
    lilv_nodes_free(required);

    instance = lilv_plugin_instantiate(plugin, sampleRate, features.data());
    if (!instance)
        throw std::runtime_error("<" + uri + "> failed to instantiate");
    worker->interface = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_WORKER__interface));

    LilvNode* audioClass = lilv_new_uri(w, LV2_CORE__AudioPort);
    LilvNode* controlClass = lilv_new_uri(w, LV2_CORE__ControlPort);
    LilvNode* atomClass = lilv_new_uri(w, LV2_ATOM__AtomPort);
    LilvNode* inputClass = lilv_new_uri(w, LV2_CORE__InputPort);
    LilvNode* controlDesignation = lilv_new_uri(w, LV2_CORE__control);
    LilvNode* designationPredicate = lilv_new_uri(w, LV2_CORE__designation);
    const uint32_t count = lilv_plugin_get_num_ports(plugin);
    std::vector<float> defaults(count);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    ports.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* lilvPort = lilv_plugin_get_port_by_index(plugin, i);
        Port& port = ports[i];
        port.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, lilvPort));
        port.input = lilv_port_is_a(plugin, lilvPort, inputClass);
        if (lilv_port_is_a(plugin, lilvPort, audioClass)) {
            port.kind = Port::Kind::kAudio;
            lilv_instance_connect_port(instance, i, nullptr);
        } else if (lilv_port_is_a(plugin, lilvPort, controlClass)) {
            port.kind = Port::Kind::kControl;
            port.value = std::isnan(defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port(instance, i, &port.value);
        } else if (lilv_port_is_a(plugin, lilvPort, atomClass)) {
            port.kind = Port::Kind::kAtom;
            port.atomBuffer = static_cast<int>(atomBuffers.size());
            atomBuffers.emplace_back(kAtomBufferBytes / sizeof(uint64_t));
            lilv_instance_connect_port(instance, i, atomBuffers.back().data());
            LilvNodes* designation = lilv_port_get_value(plugin, lilvPort, designationPredicate);
            const bool designated = designation && lilv_nodes_contains(designation, controlDesignation);
            if (port.input && (controlIn < 0 || designated))
                controlIn = static_cast<int>(i);
            if (!port.input && (notifyOut < 0 || designated))
                notifyOut = static_cast<int>(i);
            lilv_nodes_free(designation);
        } else {
            lilv_instance_connect_port(instance, i, nullptr);
        }
    }
    for (LilvNode* node : {audioClass, controlClass, atomClass, inputClass, controlDesignation, designationPredicate})
        lilv_node_free(node);
    resetAtomPorts();

    // state:loadDefaultState: the state in the plug-in's own description, before activation.
    LilvNode* self = lilv_new_uri(w, uri.c_str());
    if (LilvState* defaults = lilv_state_new_from_world(w, urids.mapFeature(), self)) {
        lilv_state_restore(defaults, instance, &Plugin::setPortValue, this, 0, features.data());
        lilv_state_free(defaults);
    }
    lilv_node_free(self);
    worker->start();
}

Plugin::~Plugin()
{
    if (worker && instance)
        worker->stop();
    if (instance) {
        if (active)
            lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
}

void Plugin::activate()
{
    if (!active)
        lilv_instance_activate(instance);
    active = true;
}

void Plugin::deactivate()
{
    if (active)
        lilv_instance_deactivate(instance);
    active = false;
}

int Plugin::portIndex(const std::string& symbol) const
{
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].symbol == symbol)
            return static_cast<int>(i);
    return -1;
}

void Plugin::connectAudio(const std::string& symbol, float* data)
{
    const int index = portIndex(symbol);
    if (index < 0 || ports[index].kind != Port::Kind::kAudio)
        throw std::runtime_error("no audio port \"" + symbol + "\"");
    lilv_instance_connect_port(instance, static_cast<uint32_t>(index), data);
}

void Plugin::setControl(const std::string& symbol, float value)
{
    const int index = portIndex(symbol);
    if (index < 0 || ports[index].kind != Port::Kind::kControl || !ports[index].input)
        throw std::runtime_error("no control input \"" + symbol + "\"");
    ports[index].value = value;
}

float Plugin::control(const std::string& symbol) const
{
    const int index = portIndex(symbol);
    if (index < 0 || ports[index].kind != Port::Kind::kControl)
        throw std::runtime_error("no control port \"" + symbol + "\"");
    return ports[index].value;
}

void Plugin::resetAtomPorts()
{
    UridMap& urids = world.urids();
    for (const Port& port : ports) {
        if (port.kind != Port::Kind::kAtom)
            continue;
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers[port.atomBuffer].data());
        if (port.input) {
            // An empty sequence, to which appendEvent adds.
            sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
            sequence->atom.type = urids.map(LV2_ATOM__Sequence);
            sequence->body.unit = 0;
            sequence->body.pad = 0;
        } else {
            // Output: the capacity, for the plug-in to write a sequence into.
            sequence->atom.size = static_cast<uint32_t>(kAtomBufferBytes - sizeof(LV2_Atom));
            sequence->atom.type = urids.map(LV2_ATOM__Chunk);
        }
    }
}

void Plugin::appendEvent(uint32_t frame, LV2_URID type, const void* body, uint32_t size)
{
    if (controlIn < 0)
        throw std::runtime_error("the plug-in has no atom input");
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers[ports[controlIn].atomBuffer].data());
    const uint32_t eventBytes = static_cast<uint32_t>(sizeof(LV2_Atom_Event)) + size;
    if (sizeof(LV2_Atom) + sequence->atom.size + lv2_atom_pad_size(eventBytes) > kAtomBufferBytes)
        throw std::runtime_error("the control input is full");
    auto* event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<char*>(&sequence->body) + sequence->atom.size);
    event->time.frames = frame;
    event->body.type = type;
    event->body.size = size;
    std::memcpy(event + 1, body, size);
    sequence->atom.size += lv2_atom_pad_size(eventBytes);
}

void Plugin::sendPatchSetPath(const std::string& propertyUri, const std::string& path, uint32_t frame)
{
    UridMap& urids = world.urids();
    std::vector<uint8_t> buffer(path.size() + 256);
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, urids.mapFeature());
    lv2_atom_forge_set_buffer(&forge, buffer.data(), buffer.size());
    LV2_Atom_Forge_Frame object;
    lv2_atom_forge_object(&forge, &object, 0, urids.map(LV2_PATCH__Set));
    lv2_atom_forge_key(&forge, urids.map(LV2_PATCH__property));
    lv2_atom_forge_urid(&forge, urids.map(propertyUri.c_str()));
    lv2_atom_forge_key(&forge, urids.map(LV2_PATCH__value));
    lv2_atom_forge_path(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
    lv2_atom_forge_pop(&forge, &object);
    const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer.data());
    appendEvent(frame, atom->type, atom + 1, atom->size);
}

void Plugin::sendMidi(const uint8_t* bytes, uint32_t size, uint32_t frame)
{
    appendEvent(frame, world.urids().map(LV2_MIDI__MidiEvent), bytes, size);
}

void Plugin::run(uint32_t frames)
{
    if (frames > maxBlock)
        throw std::runtime_error("block longer than the maximum the plug-in was told");
    runningPlugin = this;
    {
        testsupport::AllocationCounter::Scope counting;
        lilv_instance_run(instance, frames);
        lastRunAllocations = testsupport::AllocationCounter::count.load();
    }
    runningPlugin = nullptr;
    if (worker->mode == WorkerMode::kSynchronous)
        worker->workQueued();
    deliverResponses();
    readNotifications();
    resetAtomPorts();
}

void Plugin::deliverResponses()
{
    // The plug-in's work_response and end_run run on the audio thread after run(): counted too.
    runningPlugin = this;
    uint32_t size = 0;
    while (worker->responses.read(worker->response.data(), worker->response.size(), size)) {
        testsupport::AllocationCounter::Scope counting;
        worker->interface->work_response(lilv_instance_get_handle(instance), size, worker->response.data());
        lastRunAllocations += testsupport::AllocationCounter::count.load();
    }
    if (worker->interface && worker->interface->end_run) {
        testsupport::AllocationCounter::Scope counting;
        worker->interface->end_run(lilv_instance_get_handle(instance));
        lastRunAllocations += testsupport::AllocationCounter::count.load();
    }
    runningPlugin = nullptr;
}

void Plugin::readNotifications()
{
    if (notifyOut < 0)
        return;
    UridMap& urids = world.urids();
    const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(atomBuffers[ports[notifyOut].atomBuffer].data());
    if (sequence->atom.type != urids.map(LV2_ATOM__Sequence))
        return;   // the plug-in wrote nothing
    const LV2_URID object = urids.map(LV2_ATOM__Object);
    const LV2_URID blank = urids.map(LV2_ATOM__Blank);
    const LV2_URID set = urids.map(LV2_PATCH__Set);
    LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
        if (event->body.type != object && event->body.type != blank)
            continue;
        const auto* message = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
        if (message->body.otype != set)
            continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(message, urids.map(LV2_PATCH__property), &property, urids.map(LV2_PATCH__value), &value, 0);
        PatchSet entry;
        if (property && property->type == urids.map(LV2_ATOM__URID)) {
            const char* uri = urids.unmap(reinterpret_cast<const LV2_Atom_URID*>(property)->body);
            entry.property = uri ? uri : "";
        }
        if (value) {
            const char* type = urids.unmap(value->type);
            entry.valueType = type ? type : "";
            if (value->type == urids.map(LV2_ATOM__Path) || value->type == urids.map(LV2_ATOM__String))
                entry.text.assign(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)),
                                  strnlen(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)), value->size));
        }
        patchSets.push_back(entry);
    }
}

void Plugin::finishWork()
{
    if (worker->mode == WorkerMode::kSynchronous) {
        worker->workQueued();
        return;
    }
    for (int left = worker->pending.load(std::memory_order_acquire); left > 0;
         left = worker->pending.load(std::memory_order_acquire))
        worker->pending.wait(left);
}

std::vector<LogEntry> Plugin::log() const
{
    std::lock_guard<std::mutex> guard(logger->lock);
    std::vector<LogEntry> result;
    for (std::size_t i = 0; i < std::min(logger->count, logger->entries.size()); ++i) {
        const char* type = world.urids().unmap(logger->entries[i].type);
        result.push_back({type ? type : "", logger->entries[i].text, logger->entries[i].fromRun});
    }
    return result;
}

void Plugin::clearLog()
{
    std::lock_guard<std::mutex> guard(logger->lock);
    logger->count = 0;
}

// ---------------------------------------------------------------------------------------------
// Worker

LV2_Worker_Status Plugin::scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
{
    auto* worker = static_cast<Worker*>(handle);
    worker->pending.fetch_add(1, std::memory_order_relaxed);
    if (!worker->requests.write(data, size)) {
        worker->pending.fetch_sub(1, std::memory_order_relaxed);
        return LV2_WORKER_ERR_NO_SPACE;
    }
    if (worker->mode == WorkerMode::kThreaded)
        worker->wake.release();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Plugin::respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
    return static_cast<Worker*>(handle)->responses.write(data, size) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

// ---------------------------------------------------------------------------------------------
// State

char* Plugin::makePath(LV2_State_Make_Path_Handle handle, const char* path)
{
    const auto* self = static_cast<const Plugin*>(handle);
    const fs::path full = fs::path(self->scratch) / path;
    std::error_code ignored;
    fs::create_directories(full.parent_path(), ignored);
    return strdup(full.string().c_str());
}

void Plugin::freePath(LV2_State_Free_Path_Handle, char* path) { std::free(path); }

const void* Plugin::portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type)
{
    auto* host = static_cast<Plugin*>(self);
    const int index = host->portIndex(symbol);
    if (index < 0 || host->ports[index].kind != Port::Kind::kControl || !host->ports[index].input) {
        *size = 0;
        *type = 0;
        return nullptr;
    }
    *size = sizeof(float);
    *type = host->world.urids().map(LV2_ATOM__Float);
    return &host->ports[index].value;
}

void Plugin::setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type)
{
    auto* host = static_cast<Plugin*>(self);
    const int index = host->portIndex(symbol);
    if (index < 0 || host->ports[index].kind != Port::Kind::kControl || size != sizeof(float) ||
        type != host->world.urids().map(LV2_ATOM__Float))
        return;
    std::memcpy(&host->ports[index].value, value, sizeof(float));
}

void Plugin::saveState(const std::string& folder)
{
    fs::create_directories(folder);
    fs::create_directories(scratch);
    const std::string dir = fs::absolute(folder).string();
    UridMap& urids = world.urids();
    LilvState* state = lilv_state_new_from_instance(plugin, instance, urids.mapFeature(), scratch.c_str(), dir.c_str(),
                                                    dir.c_str(), dir.c_str(), &Plugin::portValue, this,
                                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data());
    if (!state)
        throw std::runtime_error("lilv could not take the plug-in's state");
    const int failed = lilv_state_save(world.get(), urids.mapFeature(), urids.unmapFeature(), state, nullptr,
                                       dir.c_str(), "state.ttl");
    lilv_state_free(state);
    if (failed)
        throw std::runtime_error("lilv could not save the state in " + dir);
}

bool Plugin::restoreState(const std::string& folder)
{
    const std::string file = (fs::absolute(folder) / "state.ttl").string();
    if (!fs::exists(file))
        return false;
    LilvState* state = lilv_state_new_from_file(world.get(), world.urids().mapFeature(), nullptr, file.c_str());
    if (!state)
        return false;
    lilv_state_restore(state, instance, &Plugin::setPortValue, this, 0, features.data());
    lilv_state_free(state);
    return true;
}

} // namespace lv2host
