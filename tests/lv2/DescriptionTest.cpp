// The bundle's description as hosts read it (liblilv), against SonquadVST.so as hosts see it:
// every VST parameter is an LV2 port with the VST's name, unit and span, or has none.
#include "host/Lv2TestHost.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"

#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/units/units.h>

#include <cctype>
#include <map>
#include <string>

namespace {

// The plug-in's description as a host instantiating it reads it.
struct Described : lv2host::Plugin {
    Described() : Plugin(SONQUAD_LV2_BUNDLE, "urn:morlane:sonquad:lv2", 48000) {}
    const LilvPort* named(const std::string& name) const
    {
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(description()); ++i) {
            LilvNode* portName = lilv_port_get_name(description(), lilv_plugin_get_port_by_index(description(), i));
            const bool same = name == lilv_node_as_string(portName);
            lilv_node_free(portName);
            if (same)
                return lilv_plugin_get_port_by_index(description(), i);
        }
        return nullptr;
    }
    std::string value(const LilvPort* port, const char* predicate) const
    {
        LilvNode* p = lilv_new_uri(world(), predicate);
        LilvNode* value = lilv_port_get(description(), port, p);
        const std::string text = value ? lilv_node_as_string(value) : "";
        lilv_node_free(value);
        lilv_node_free(p);
        return text;
    }
    std::map<float, std::string> scalePoints(const LilvPort* port) const
    {
        std::map<float, std::string> labels;
        LilvScalePoints* points = lilv_port_get_scale_points(description(), port);
        LILV_FOREACH (scale_points, i, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            labels[lilv_node_as_float(lilv_scale_point_get_value(point))] = lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        return labels;
    }
};

class VstParameter : public testing::TestWithParam<int> {};

TEST_P(VstParameter, IsAPortWithTheVstsNameUnitAndSpanOrHasNone)
{
    const int p = GetParam();
    const Described lv2;
    auto vst = testhost::createPlugin();
    const std::string name = vst->parameterName(p), label = vst->parameterLabel(p);
    auto shown = [&](float v) {
        vst->setParameter(p, v);
        return std::stof(vst->parameterDisplay(p));
    };
    const LilvPort* port = lv2.named(p == param::kPostMatrixFilterNumber ? "Correction" : label == "dB" ? name + " Offset" : name);
    const bool stage = p == param::kLfEnabled || p == param::kEqsEnabled || p == param::kAbMatrixEnabled;
    const bool frequency = p == param::kLfCutFreq || p == param::kLfBoostFreq;
    if (!stage && !frequency && label != "dB" && p != param::kPostMatrixFilterNumber) {
        EXPECT_EQ(port, nullptr) << name << ": editor state, linking or a set no stage uses";
        return;
    }
    ASSERT_NE(port, nullptr) << name;
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(lv2.description(), port, &def, &min, &max);
    const float range[3] = {lilv_node_as_float(min), lilv_node_as_float(max), lilv_node_as_float(def)};
    for (LilvNode* node : {def, min, max})
        lilv_node_free(node);
    const std::string unit = lv2.value(port, LV2_UNITS__unit);
    if (stage) {
        EXPECT_EQ(lv2.value(port, LV2_CORE__portProperty), LV2_CORE__toggled);
        EXPECT_EQ(range[2], 1.0f);
    } else if (frequency) {
        // Absolute, up to the VST's top, with 0 for the calibration's own.
        EXPECT_EQ(unit, LV2_UNITS__hz);
        EXPECT_EQ(range[1], shown(1.0f));
        EXPECT_EQ(lv2.scalePoints(port), (std::map<float, std::string> {{0.0f, "As calibrated"}}));
        EXPECT_EQ(range[2], 0.0f);
    } else if (label == "dB") {
        // An offset over the VST's span, centred on 0.
        const float span = (shown(1.0f) - shown(0.0f)) / 2.0f;
        EXPECT_EQ(unit, LV2_UNITS__db);
        EXPECT_EQ(range[0], -span);
        EXPECT_EQ(range[1], span);
        EXPECT_EQ(range[2], 0.0f);
    } else {
        // The built-in sets under the names the VST shows for them, and the calibration's own.
        std::map<float, std::string> expected {{3.0f, "As calibrated"}};
        for (int set = 0; set < 3; ++set) {
            vst->setParameter(p, param::filterSetValue(set));
            expected[static_cast<float>(set)] = vst->parameterDisplay(p);
        }
        EXPECT_EQ(lv2.scalePoints(port), expected);
        EXPECT_EQ(range[2], 3.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Lv2, VstParameter, testing::Range(0, static_cast<int>(param::kCount)), [](const testing::TestParamInfo<int>& info) {
    char text[64] = {};
    param::name(info.param, text, sizeof text);
    std::string name = text;
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

} // namespace
