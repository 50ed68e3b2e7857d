// The bundle's Turtle as hosts read it (liblilv), against the VST 2.4 plug-in as hosts see it
// (the built SonquadVST.so through its dispatcher): every VST parameter is either an LV2 port
// with the VST's name, unit and span, or left out for a stated reason.
#include "host/Lv2TestHost.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/patch/patch.h>
#include <lv2/units/units.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kPluginUri = "urn:morlane:sonquad:lv2";
constexpr const char* kCalibrationUri = "urn:morlane:sonquad:lv2#calibration";

// What becomes of each VST parameter in the LV2 edition.
enum class Role {
    kGainOffset,   // a dB port added to the calibration's value, spanning the VST range around 0
    kStageSwitch,  // a toggle with the VST name, on by default
    kCorrection,   // the "Correction" enumeration of the post-matrix sets
    kLeftOut,      // no port
};

struct ParameterCase {
    int vstIndex;
    Role role;
    const char* reason;   // for kLeftOut
};

// The 46 parameters by kind; the dB parameters (17..41 minus the EQ shape, and 42..45) are
// found from their VST label below rather than listed.
const std::map<int, ParameterCase> kNotGains = {
    {0, {0, Role::kStageSwitch, ""}},
    {1, {1, Role::kLeftOut, "LF cut frequency: the calibration's"}},
    {2, {2, Role::kLeftOut, "LF boost frequency: the calibration's"}},
    {3, {3, Role::kLeftOut, "Locked: the VST editor's state"}},
    {4, {4, Role::kLeftOut, "Calibration switch: read by no stage; the LV2 has the Calibration file"}},
    {5, {5, Role::kLeftOut, "PreMatrix set: only \"None\" exists and no stage applies it"}},
    {6, {6, Role::kCorrection, ""}},
    {7, {7, Role::kStageSwitch, ""}},
    {8, {8, Role::kLeftOut, "EQs Linked: the VST editor's linking of parameters"}},
    {9, {9, Role::kLeftOut, "Gains Linked: the VST editor's linking of parameters"}},
    {10, {10, Role::kStageSwitch, ""}},
    {11, {11, Role::kLeftOut, "Current Capsule: the VST editor's state"}},
    {12, {12, Role::kLeftOut, "View Mode: the VST editor's state"}},
    {13, {13, Role::kLeftOut, "Display VU: the VST editor's state"}},
};

class Bundle : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        world = std::make_unique<lv2host::World>();
        world->loadBundle(SONQUAD_LV2_BUNDLE);
        vst = vsthost::PluginInstance::create(testhost::module());
    }
    static void TearDownTestSuite()
    {
        vst.reset();
        world.reset();
    }

    void SetUp() override
    {
        plugin = world->plugin(kPluginUri);
        ASSERT_NE(plugin, nullptr) << "no " << kPluginUri << " in " << SONQUAD_LV2_BUNDLE;
    }

    LilvNode* uri(const char* text) const { return lilv_new_uri(world->get(), text); }

    // The port of this name, or null.
    const LilvPort* portNamed(const std::string& name) const
    {
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            LilvNode* portName = lilv_port_get_name(plugin, port);
            const bool same = name == lilv_node_as_string(portName);
            lilv_node_free(portName);
            if (same)
                return port;
        }
        return nullptr;
    }

    bool hasProperty(const LilvPort* port, const char* property) const
    {
        LilvNode* node = uri(property);
        const bool has = lilv_port_has_property(plugin, port, node);
        lilv_node_free(node);
        return has;
    }

    struct Range {
        float minimum, maximum, defaultValue;
    };
    Range rangeOf(const LilvPort* port) const
    {
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        const Range range {lilv_node_as_float(min), lilv_node_as_float(max), lilv_node_as_float(def)};
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        return range;
    }

    std::string unitOf(const LilvPort* port) const
    {
        LilvNode* predicate = uri(LV2_UNITS__unit);
        LilvNodes* units = lilv_port_get_value(plugin, port, predicate);
        std::string unit = units ? lilv_node_as_uri(lilv_nodes_get_first(units)) : "";
        lilv_nodes_free(units);
        lilv_node_free(predicate);
        return unit;
    }

    // The VST's display of parameter p at normalised value v, as a number.
    static float vstDisplayAt(int p, float v)
    {
        const float kept = vst->getParameter(p);
        vst->setParameter(p, v);
        const float shown = std::strtof(vst->parameterDisplay(p).c_str(), nullptr);
        vst->setParameter(p, kept);
        return shown;
    }

    static std::unique_ptr<lv2host::World> world;
    static std::unique_ptr<vsthost::PluginInstance> vst;
    const LilvPlugin* plugin = nullptr;
};

std::unique_ptr<lv2host::World> Bundle::world;
std::unique_ptr<vsthost::PluginInstance> Bundle::vst;

class Description : public Bundle, public testing::WithParamInterface<int> {};

TEST_P(Description, EveryVstParameterIsAPortWithItsNameUnitAndSpanOrIsLeftOut)
{
    const int p = GetParam();
    const std::string name = vst->parameterName(p);
    const auto known = kNotGains.find(p);
    const Role role = known != kNotGains.end() ? known->second.role
                      : vst->parameterLabel(p) == "dB" ? Role::kGainOffset
                                                       : Role::kLeftOut;
    switch (role) {
    case Role::kGainOffset: {
        const LilvPort* port = portNamed(name + " Offset");
        ASSERT_NE(port, nullptr) << name;
        const float span = (vstDisplayAt(p, 1.0f) - vstDisplayAt(p, 0.0f)) / 2.0f;
        const Range range = rangeOf(port);
        EXPECT_EQ(range.minimum, -span);
        EXPECT_EQ(range.maximum, span);
        EXPECT_EQ(range.defaultValue, 0.0f);
        EXPECT_EQ(unitOf(port), LV2_UNITS__db);
        break;
    }
    case Role::kStageSwitch: {
        const LilvPort* port = portNamed(name);
        ASSERT_NE(port, nullptr) << name;
        EXPECT_TRUE(hasProperty(port, LV2_CORE__toggled));
        const Range range = rangeOf(port);
        EXPECT_EQ(range.minimum, 0.0f);
        EXPECT_EQ(range.maximum, 1.0f);
        EXPECT_EQ(range.defaultValue, 1.0f);
        break;
    }
    case Role::kCorrection: {
        const LilvPort* port = portNamed("Correction");
        ASSERT_NE(port, nullptr);
        EXPECT_TRUE(hasProperty(port, LV2_CORE__enumeration));
        EXPECT_TRUE(hasProperty(port, LV2_CORE__integer));
        // The built-in sets keep their VST numbers: scale point k names what the VST shows
        // when its "PostMatrix Filter Number" selects set k.
        std::map<int, std::string> labels;
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        LILV_FOREACH (scale_points, i, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            labels[static_cast<int>(lilv_node_as_float(lilv_scale_point_get_value(point)))] =
                lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        ASSERT_EQ(labels.size(), 4u);
        const float kept = vst->getParameter(p);
        for (int set = 0; set < 3; ++set) {
            vst->setParameter(p, static_cast<float>(set) / 7.0f);
            EXPECT_EQ(labels[set], vst->parameterDisplay(p)) << "set " << set;
        }
        vst->setParameter(p, kept);
        EXPECT_EQ(labels[3], "As calibrated");
        EXPECT_EQ(rangeOf(port).defaultValue, 3.0f);
        break;
    }
    case Role::kLeftOut:
        EXPECT_EQ(portNamed(name), nullptr) << name;
        EXPECT_EQ(portNamed(name + " Offset"), nullptr) << name;
        break;
    }
}

TEST_F(Bundle, GivesHostsCapsulesInFormatsOutLatencyAndTheCalibrationFile)
{
    const char* const inputs[] = {"capsule_1", "capsule_2", "capsule_3", "capsule_4"};
    const char* const outputs[] = {"out_1", "out_2", "out_3", "out_4"};
    LilvNode* audio = uri(LV2_CORE__AudioPort);
    LilvNode* input = uri(LV2_CORE__InputPort);
    for (int i = 0; i < 4; ++i) {
        for (const auto& [symbol, isInput] : {std::pair {inputs[i], true}, std::pair {outputs[i], false}}) {
            LilvNode* node = lilv_new_string(world->get(), symbol);
            const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
            lilv_node_free(node);
            ASSERT_NE(port, nullptr) << symbol;
            EXPECT_TRUE(lilv_port_is_a(plugin, port, audio)) << symbol;
            EXPECT_EQ(lilv_port_is_a(plugin, port, input), isInput) << symbol;
        }
    }
    lilv_node_free(audio);
    lilv_node_free(input);
    EXPECT_NE(portNamed("Capsule 4"), nullptr);
    EXPECT_NE(portNamed("Z (FuMa) or X (AmbiX)"), nullptr);

    // Scale points of the two conversions that the command-line host also has.
    for (const auto& [name, labels] : {std::pair<std::string, std::vector<std::string>> {"Output Format", {"FuMa", "AmbiX"}},
                                       {"Orientation", {"Upright", "Inverted", "End-fire"}}}) {
        const LilvPort* port = portNamed(name);
        ASSERT_NE(port, nullptr) << name;
        EXPECT_TRUE(hasProperty(port, LV2_CORE__enumeration)) << name;
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        std::vector<std::string> found(labels.size());
        LILV_FOREACH (scale_points, i, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            const auto value = static_cast<std::size_t>(lilv_node_as_float(lilv_scale_point_get_value(point)));
            ASSERT_LT(value, found.size()) << name;
            found[value] = lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        EXPECT_EQ(found, labels) << name;
        EXPECT_EQ(rangeOf(port).defaultValue, 0.0f) << name;
    }

    // The latency port that hosts compensate by.
    ASSERT_TRUE(lilv_plugin_has_latency(plugin));
    const LilvPort* latency = lilv_plugin_get_port_by_index(plugin, lilv_plugin_get_latency_port_index(plugin));
    EXPECT_EQ(latency, portNamed("Latency"));
    EXPECT_TRUE(hasProperty(latency, LV2_CORE__reportsLatency));

    // No required feature and optional atom ports: hosts without URIDs or atoms (lv2apply)
    // can run the plug-in with its built-in calibration.
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);
    LilvNode* atomPort = uri(LV2_ATOM__AtomPort);
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (lilv_port_is_a(plugin, port, atomPort)) {
            EXPECT_TRUE(hasProperty(port, LV2_CORE__connectionOptional)) << "port " << i;
        }
    }
    lilv_node_free(atomPort);

    // The calibration: a writable property holding a path.
    LilvNode* writable = uri(LV2_PATCH__writable);
    LilvNodes* properties = lilv_world_find_nodes(world->get(), lilv_plugin_get_uri(plugin), writable, nullptr);
    ASSERT_EQ(lilv_nodes_size(properties), 1u);
    EXPECT_STREQ(lilv_node_as_uri(lilv_nodes_get_first(properties)), kCalibrationUri);
    LilvNode* range = uri("http://www.w3.org/2000/01/rdf-schema#range");
    LilvNode* label = uri("http://www.w3.org/2000/01/rdf-schema#label");
    LilvNode* pathType = lilv_world_get(world->get(), lilv_nodes_get_first(properties), range, nullptr);
    LilvNode* labelText = lilv_world_get(world->get(), lilv_nodes_get_first(properties), label, nullptr);
    ASSERT_NE(pathType, nullptr);
    EXPECT_STREQ(lilv_node_as_uri(pathType), LV2_ATOM__Path);
    EXPECT_STREQ(labelText ? lilv_node_as_string(labelText) : "", "Calibration");
    for (LilvNode* node : {writable, range, label, pathType, labelText})
        lilv_node_free(node);
    lilv_nodes_free(properties);
}

INSTANTIATE_TEST_SUITE_P(VstParameter, Description, testing::Range(0, 46), [](const testing::TestParamInfo<int>& info) {
    char text[64] = {};
    param::name(info.param, text, sizeof text);
    std::string name = text;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

} // namespace
