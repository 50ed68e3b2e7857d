// A small LV2 host on liblilv, the library LV2 hosts use: instantiates a plug-in of a bundle with
// URID map and unmap, a worker and a log; sends patch:Set paths on its atom input and collects
// those its atom output sends; saves and restores its state through lilv (which gives
// state:mapPath; port values stay the host's, as in most hosts); counts what run() and
// work_response allocate. Scheduled work is done at once, uncounted, as hosts rendering offline
// do; its responses are delivered after run(), counted with it, as the audio thread takes them.
#pragma once

#include "tests/support/AllocationCounter.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/log/log.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace lv2host {

namespace fs = std::filesystem;
using Counter = testsupport::AllocationCounter;
using Node = std::unique_ptr<LilvNode, void (*)(LilvNode*)>;
inline Node own(LilvNode* node) { return {node, &lilv_node_free}; }

class Plugin {
public:
    // The plug-in of this URI from the bundle folder, activated, its controls at their defaults.
    Plugin(const std::string& bundle, const std::string& uri, double rate)
    {
        lilv_world_load_bundle(world, own(lilv_new_file_uri(world, nullptr, (fs::absolute(bundle).string() + "/").c_str())).get());
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), own(lilv_new_uri(world, uri.c_str())).get());
        if (!plugin || !(instance = lilv_plugin_instantiate(plugin, rate, features)))
            throw std::runtime_error("<" + uri + "> not found or refused in " + bundle);
        lv2_atom_forge_init(&forge, &mapFeature);
        worker = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
        values.resize(lilv_plugin_get_num_ports(plugin));
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, values.data());
        auto is = [&](const LilvPort* port, const char* uri) { return lilv_port_is_a(plugin, port, own(lilv_new_uri(world, uri)).get()); };
        for (std::uint32_t i = 0; i < values.size(); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            void* atom = is(port, LV2_CORE__InputPort) ? atomIn.data() : atomOut.data();   // one of each
            lilv_instance_connect_port(instance, i, is(port, LV2_ATOM__AtomPort) ? atom : is(port, LV2_CORE__ControlPort) ? &values[i] : nullptr);
        }
        resetAtoms();
        lilv_instance_activate(instance);
    }
    ~Plugin()
    {
        lilv_instance_deactivate(instance);
        finishWork();   // installs what the plug-in still waits for, so that it frees it
        lilv_instance_free(instance);
        lilv_world_free(world);
    }
    Plugin(const Plugin&) = delete;

    void connectAudio(std::uint32_t port, float* data) { lilv_instance_connect_port(instance, port, data); }
    float& control(const std::string& symbol)
    {
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, own(lilv_new_string(world, symbol.c_str())).get());
        return port ? values[lilv_port_get_index(plugin, port)] : throw std::runtime_error("no port " + symbol);
    }
    LV2_URID map(const char* uri)
    {
        const auto found = std::find(uris.begin(), uris.end(), uri);
        return found != uris.end() ? LV2_URID(found - uris.begin() + 1) : (uris.emplace_back(uri), LV2_URID(uris.size()));
    }

    // Queues a patch:Set of property to an atom:Path for the next run().
    void sendPatchSetPath(const std::string& property, const std::string& path)
    {
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(atomIn.data());
        const std::uint32_t used = lv2_atom_total_size(&sequence->atom);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(sequence) + used, kAtomBytes - used);
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, map(property.c_str()));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, path.c_str(), static_cast<std::uint32_t>(path.size()));
        lv2_atom_forge_pop(&forge, &object);
        sequence->atom.size += lv2_atom_pad_size(static_cast<std::uint32_t>(forge.offset));
    }

    // run(frames), then the responses to the work it scheduled (both counted); collects the paths
    // the plug-in notified.
    void run(std::uint32_t frames)
    {
        Counter::Scope counting;
        lilv_instance_run(instance, frames);
        finishWork();
        allocations = Counter::count.load();
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(atomOut.data());
        if (sequence->atom.type == map(LV2_ATOM__Sequence))
            LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
                const LV2_Atom* value = nullptr;
                if (event->body.type == map(LV2_ATOM__Object))
                    lv2_atom_object_get(reinterpret_cast<const LV2_Atom_Object*>(&event->body), map(LV2_PATCH__value), &value, 0);
                if (value && value->type == map(LV2_ATOM__Path))
                    notified.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
            }
        resetAtoms();
    }
    void finishWork()
    {
        for (const std::vector<char>& answer : std::exchange(responses, {}))
            worker->work_response(lilv_instance_get_handle(instance), static_cast<std::uint32_t>(answer.size()), answer.data());
    }

    // The plug-in's state in folder/state.ttl through lilv, with links there to the files it
    // names. Restoring gives the plug-in this host's features (a worker: it may load there), or
    // only lilv's, as a host that restores before running does; false without a state.
    bool saveState(const fs::path& folder)
    {
        const std::string dir = fs::absolute(folder).string();
        LilvState* state = lilv_state_new_from_instance(plugin, instance, &mapFeature, nullptr, dir.c_str(), dir.c_str(),
                                                        dir.c_str(), nullptr, nullptr, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
        const bool saved = state && !lilv_state_save(world, &mapFeature, &unmapFeature, state, nullptr, dir.c_str(), "state.ttl");
        lilv_state_free(state);
        return saved;
    }
    bool restoreState(const fs::path& folder, bool withFeatures = true)
    {
        const std::string file = fs::absolute(folder / "state.ttl").string();
        LilvState* state = fs::exists(file) ? lilv_state_new_from_file(world, &mapFeature, nullptr, file.c_str()) : nullptr;
        if (state)
            lilv_state_restore(state, instance, nullptr, nullptr, 0, withFeatures ? features : nullptr);
        lilv_state_free(state);
        return state != nullptr;
    }

    LilvWorld* const world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    long allocations = 0;                                 // in the last run()
    std::vector<std::string> notified;                    // patch:Set paths the plug-in sent
    std::vector<std::pair<LV2_URID, std::string>> log;    // type, text

private:
    static constexpr std::size_t kAtomBytes = 64 * 1024;
    // Inputs hold an empty sequence, outputs their capacity for the plug-in to fill.
    void resetAtoms()
    {
        *reinterpret_cast<LV2_Atom_Sequence*>(atomIn.data()) = {{sizeof(LV2_Atom_Sequence_Body), map(LV2_ATOM__Sequence)}, {0, 0}};
        *reinterpret_cast<LV2_Atom_Sequence*>(atomOut.data()) = {{kAtomBytes - sizeof(LV2_Atom), map(LV2_ATOM__Chunk)}, {0, 0}};
    }
    static LV2_Worker_Status work(LV2_Worker_Schedule_Handle self, std::uint32_t size, const void* data)
    {
        auto* host = static_cast<Plugin*>(self);
        auto respond = [](LV2_Worker_Respond_Handle me, std::uint32_t n, const void* body) {
            static_cast<Plugin*>(me)->responses.emplace_back(static_cast<const char*>(body), static_cast<const char*>(body) + n);
            return LV2_WORKER_SUCCESS;
        };
        const bool counting = Counter::counting.exchange(false);
        const LV2_Worker_Status status = host->worker->work(lilv_instance_get_handle(host->instance), respond, host, size, data);
        Counter::counting = counting;
        return status;
    }
    static int printf(LV2_Log_Handle self, LV2_URID type, const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        const int n = print(self, type, format, args);
        va_end(args);
        return n;
    }
    static int print(LV2_Log_Handle self, LV2_URID type, const char* format, va_list args)
    {
        char text[1024];
        const int n = std::vsnprintf(text, sizeof text, format, args);
        static_cast<Plugin*>(self)->log.emplace_back(type, text);
        return n;
    }

    std::deque<std::string> uris;   // urid - 1; a deque keeps the unmapped strings in place
    LV2_URID_Map mapFeature {this, [](LV2_URID_Map_Handle self, const char* uri) { return static_cast<Plugin*>(self)->map(uri); }};
    LV2_URID_Unmap unmapFeature {this, [](LV2_URID_Unmap_Handle self, LV2_URID id) {
                                     auto& uris = static_cast<Plugin*>(self)->uris;
                                     return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
                                 }};
    LV2_Worker_Schedule schedule {this, &work};
    LV2_Log_Log logger {this, &printf, &print};
    // The worker also serves restore, as in hosts that restore while running (threadSafeRestore).
    const LV2_Feature list[5] = {{LV2_URID__map, &mapFeature}, {LV2_URID__unmap, &unmapFeature}, {LV2_WORKER__schedule, &schedule},
                                 {LV2_LOG__log, &logger}, {LV2_STATE__threadSafeRestore, nullptr}};
    const LV2_Feature* const features[6] = {&list[0], &list[1], &list[2], &list[3], &list[4], nullptr};
    LV2_Atom_Forge forge {};
    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    std::vector<float> values;                                             // the control ports' buffers
    std::vector<std::uint64_t> atomIn = std::vector<std::uint64_t>(kAtomBytes / 8), atomOut = atomIn;
    std::vector<std::vector<char>> responses;                              // the worker's, for work_response
};

} // namespace lv2host
