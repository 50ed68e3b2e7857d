// The bundle's description as hosts read it (liblilv), against SonquadVST.so as hosts see it:
// every VST parameter is an LV2 port with the VST's name, unit and span, or has none.
#include "host/Lv2TestHost.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"

#include <gtest/gtest.h>
#include <lv2/units/units.h>

#include <map>
#include <string>
#include <tuple>

namespace {

// What a host reads of a control port: unit, toggled, minimum, maximum, default, and the scale
// points' labels by value.
using Description = std::tuple<std::string, bool, float, float, float, std::map<float, std::string>>;

Description describe(lv2host::Plugin& lv2, const LilvPort* port)
{
    LilvNode *unit = lilv_new_uri(lv2.world, LV2_UNITS__unit), *toggled = lilv_new_uri(lv2.world, LV2_CORE__toggled);
    LilvNode* unitValue = lilv_port_get(lv2.plugin, port, unit);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(lv2.plugin, port, &def, &min, &max);
    Description d {unitValue ? lilv_node_as_string(unitValue) : "", lilv_port_has_property(lv2.plugin, port, toggled),
                   lilv_node_as_float(min), lilv_node_as_float(max), lilv_node_as_float(def), lv2.scalePoints(port)};
    for (LilvNode* node : {unit, toggled, unitValue, def, min, max})
        lilv_node_free(node);
    return d;
}

TEST(Lv2Description, EveryVstParameterIsAPortWithTheVstsNameUnitAndSpanOrHasNone)
{
    lv2host::Plugin lv2(SONQUAD_LV2_BUNDLE, "urn:morlane:sonquad:lv2", 48000);
    auto vst = testhost::createPlugin();
    for (int p = 0; p < param::kCount; ++p) {
        const std::string name = vst->parameterName(p), label = vst->parameterLabel(p);
        SCOPED_TRACE(name);
        auto shown = [&](float v) {
            vst->setParameter(p, v);
            return std::stof(vst->parameterDisplay(p));
        };
        const std::string wanted = p == param::kPostMatrixFilterNumber ? "Correction" : label == "dB" ? name + " Offset" : name;
        const LilvPort* port = nullptr;
        for (std::uint32_t i = 0; i < lilv_plugin_get_num_ports(lv2.plugin); ++i) {
            LilvNode* portName = lilv_port_get_name(lv2.plugin, lilv_plugin_get_port_by_index(lv2.plugin, i));
            port = wanted == lilv_node_as_string(portName) ? lilv_plugin_get_port_by_index(lv2.plugin, i) : port;
            lilv_node_free(portName);
        }
        Description expected;
        if (p == param::kLfEnabled || p == param::kEqsEnabled || p == param::kAbMatrixEnabled) {
            expected = {"", true, 0.0f, 1.0f, 1.0f, {}};   // on: the stage as calibrated
        } else if (p == param::kLfCutFreq || p == param::kLfBoostFreq) {
            expected = {LV2_UNITS__hz, false, 0.0f, shown(1.0f), 0.0f, {{0.0f, "As calibrated"}}};   // absolute, 0: as calibrated
        } else if (label == "dB") {
            const float span = (shown(1.0f) - shown(0.0f)) / 2.0f;   // an offset over the VST's span, centred on 0
            expected = {LV2_UNITS__db, false, -span, span, 0.0f, {}};
        } else if (p == param::kPostMatrixFilterNumber) {
            // The built-in sets under the names the VST shows for them, and the calibration's own.
            expected = {"", false, 0.0f, 3.0f, 3.0f, {{3.0f, "As calibrated"}}};
            for (int set = 0; set < 3; ++set) {
                vst->setParameter(p, param::filterSetValue(set));
                std::get<5>(expected)[static_cast<float>(set)] = vst->parameterDisplay(p);
            }
        } else {
            EXPECT_EQ(port, nullptr) << "editor state, linking or a set no stage uses";
            continue;
        }
        ASSERT_NE(port, nullptr) << wanted;
        EXPECT_EQ(describe(lv2, port), expected);
    }
}

} // namespace
