#include "Lv2TestHost.h"

#include "tests/support/AllocationCounter.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace lv2host {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kAtomBytes = 64 * 1024;

int logPrintf(LV2_Log_Handle self, LV2_URID type, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = static_cast<Plugin*>(self)->addLog(type, format, args);
    va_end(args);
    return n;
}
} // namespace

Plugin::Plugin(const std::string& bundle, const std::string& uri, double rate) : lilvWorld(lilv_world_new())
{
    LilvNode* bundleUri = lilv_new_file_uri(lilvWorld, nullptr, (fs::absolute(bundle).string() + "/").c_str());
    LilvNode* pluginUri = lilv_new_uri(lilvWorld, uri.c_str());
    lilv_world_load_bundle(lilvWorld, bundleUri);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lilvWorld), pluginUri);
    lilv_node_free(bundleUri);
    lilv_node_free(pluginUri);
    if (!plugin)
        throw std::runtime_error("no <" + uri + "> in " + bundle);

    mapFeature = {this, [](LV2_URID_Map_Handle self, const char* text) { return static_cast<Plugin*>(self)->map(text); }};
    unmapFeature = {this, [](LV2_URID_Unmap_Handle self, LV2_URID id) {
                        auto* host = static_cast<Plugin*>(self);
                        return id >= 1 && id <= host->uris.size() ? host->uris[id - 1].c_str() : nullptr;
                    }};
    schedule = {this, [](LV2_Worker_Schedule_Handle self, std::uint32_t size, const void* data) {
                    auto* host = static_cast<Plugin*>(self);
                    auto respond = [](LV2_Worker_Respond_Handle me, std::uint32_t n, const void* body) {
                        const char* bytes = static_cast<const char*>(body);
                        static_cast<Plugin*>(me)->responses.emplace_back(bytes, bytes + n);
                        return LV2_WORKER_SUCCESS;
                    };
                    const bool counting = testsupport::AllocationCounter::counting.exchange(false);
                    const LV2_Worker_Status status = host->worker->work(lilv_instance_get_handle(host->instance), respond, host, size, data);
                    testsupport::AllocationCounter::counting = counting;
                    return status;
                }};
    logFeature = {this, &logPrintf, [](LV2_Log_Handle self, LV2_URID type, const char* format, va_list args) {
                      return static_cast<Plugin*>(self)->addLog(type, format, args);
                  }};
    // The worker also serves restore, as hosts that restore while running do (threadSafeRestore).
    featureData = {{LV2_URID__map, &mapFeature}, {LV2_URID__unmap, &unmapFeature}, {LV2_WORKER__schedule, &schedule},
                   {LV2_LOG__log, &logFeature}, {LV2_STATE__threadSafeRestore, nullptr}};
    for (const LV2_Feature& feature : featureData)
        features.push_back(&feature);
    features.push_back(nullptr);
    instance = lilv_plugin_instantiate(plugin, rate, features.data());
    if (!instance)
        throw std::runtime_error("<" + uri + "> failed to instantiate");
    worker = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));

    ports.resize(lilv_plugin_get_num_ports(plugin));
    std::vector<float> defaults(ports.size());
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    LilvNode* classes[3] = {lilv_new_uri(lilvWorld, LV2_CORE__ControlPort), lilv_new_uri(lilvWorld, LV2_ATOM__AtomPort),
                            lilv_new_uri(lilvWorld, LV2_CORE__InputPort)};
    for (std::uint32_t i = 0; i < ports.size(); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        Port& p = ports[i];
        p.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        p.control = lilv_port_is_a(plugin, port, classes[0]);
        p.atom = lilv_port_is_a(plugin, port, classes[1]);
        p.input = lilv_port_is_a(plugin, port, classes[2]);
        p.value = std::isnan(defaults[i]) ? 0.0f : defaults[i];
        p.buffer.resize(p.atom ? kAtomBytes / 8 : 0);
        lilv_instance_connect_port(instance, i, p.control ? static_cast<void*>(&p.value) : p.atom ? p.buffer.data() : nullptr);
    }
    for (LilvNode* node : classes)
        lilv_node_free(node);
    resetAtoms();
    lilv_instance_activate(instance);
}

Plugin::~Plugin()
{
    lilv_instance_deactivate(instance);
    finishWork();   // installs what the plug-in still waits for, so that it frees it
    lilv_instance_free(instance);
    lilv_world_free(lilvWorld);
}

int Plugin::addLog(LV2_URID type, const char* format, va_list args)
{
    char text[1024];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    logged.push_back({type >= 1 && type <= uris.size() ? uris[type - 1] : "", text});
    return n;
}

LV2_URID Plugin::map(const char* uri)
{
    const auto [found, added] = ids.try_emplace(uri, static_cast<LV2_URID>(uris.size() + 1));
    if (added)
        uris.push_back(uri);
    return found->second;
}

int Plugin::find(const std::string& symbol) const
{
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].symbol == symbol)
            return static_cast<int>(i);
    throw std::runtime_error("no port \"" + symbol + "\"");
}

void Plugin::resetAtoms()
{
    // Inputs: an empty sequence. Outputs: the capacity, for the plug-in to fill.
    for (Port& port : ports) {
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(port.buffer.data());
        if (port.atom)
            *sequence = {{port.input ? std::uint32_t(sizeof(LV2_Atom_Sequence_Body)) : std::uint32_t(kAtomBytes - sizeof(LV2_Atom)),
                          map(port.input ? LV2_ATOM__Sequence : LV2_ATOM__Chunk)},
                         {0, 0}};
    }
}

void Plugin::sendPatchSetPath(const std::string& property, const std::string& path)
{
    for (Port& port : ports) {
        if (!port.atom || !port.input)
            continue;
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(port.buffer.data());
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &mapFeature);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(port.buffer.data()) + sizeof(LV2_Atom) + sequence->atom.size,
                                  kAtomBytes - sizeof(LV2_Atom) - sequence->atom.size);
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, map(property.c_str()));
        lv2_atom_forge_key(&forge, map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, path.c_str(), static_cast<std::uint32_t>(path.size()));
        lv2_atom_forge_pop(&forge, &object);
        sequence->atom.size += lv2_atom_pad_size(static_cast<std::uint32_t>(forge.offset));
        return;
    }
    throw std::runtime_error("the plug-in has no atom input");
}

void Plugin::run(std::uint32_t frames)
{
    {
        testsupport::AllocationCounter::Scope counting;
        lilv_instance_run(instance, frames);
        allocations = testsupport::AllocationCounter::count.load();
    }
    finishWork();
    for (Port& port : ports) {
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(port.buffer.data());
        if (!port.atom || port.input || sequence->atom.type != map(LV2_ATOM__Sequence))
            continue;
        LV2_ATOM_SEQUENCE_FOREACH (sequence, event) {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            const LV2_Atom* value = nullptr;
            if (event->body.type == map(LV2_ATOM__Object) && object->body.otype == map(LV2_PATCH__Set))
                lv2_atom_object_get(object, map(LV2_PATCH__value), &value, 0);
            if (value && value->type == map(LV2_ATOM__Path))
                notified.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
        }
    }
    resetAtoms();
}

void Plugin::finishWork()
{
    // work_response belongs to the audio thread: counted with run().
    const std::vector<std::vector<char>> answers = std::exchange(responses, {});
    testsupport::AllocationCounter::Scope counting;
    for (const std::vector<char>& answer : answers)
        worker->work_response(lilv_instance_get_handle(instance), static_cast<std::uint32_t>(answer.size()), answer.data());
    allocations += testsupport::AllocationCounter::count.load();
}

std::vector<std::string> Plugin::takeNotifiedPaths() { return std::exchange(notified, {}); }
std::vector<LogEntry> Plugin::takeLog() { return std::exchange(logged, {}); }

void Plugin::saveState(const std::string& folder)
{
    const std::string dir = fs::absolute(folder).string();
    fs::create_directories(dir);
    LilvState* state = lilv_state_new_from_instance(plugin, instance, &mapFeature, nullptr, dir.c_str(), dir.c_str(), dir.c_str(),
                                                    nullptr, nullptr, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data());
    const int failed = !state || lilv_state_save(lilvWorld, &mapFeature, &unmapFeature, state, nullptr, dir.c_str(), "state.ttl");
    lilv_state_free(state);
    if (failed)
        throw std::runtime_error("lilv could not save the state in " + dir);
}

bool Plugin::restoreState(const std::string& folder)
{
    const std::string file = (fs::absolute(folder) / "state.ttl").string();
    LilvState* state = fs::exists(file) ? lilv_state_new_from_file(lilvWorld, &mapFeature, nullptr, file.c_str()) : nullptr;
    if (state)
        lilv_state_restore(state, instance, nullptr, nullptr, 0, features.data());
    lilv_state_free(state);
    return state != nullptr;
}

} // namespace lv2host
