#include "lv2/Ports.h"

#include "model/Parameters.h"

#include <utility>


namespace lv2plugin {

namespace {

PortSpec makePort(PortKind kind, std::string symbol, std::string name, std::string comment = {})
{
    PortSpec port;
    port.kind = kind;
    port.symbol = std::move(symbol);
    port.name = std::move(name);
    port.comment = std::move(comment);
    return port;
}

std::string parameterName(int parameter)
{
    char text[64] = {};
    param::name(parameter, text, sizeof text);
    return text;
}

Unit unitOf(int parameter)
{
    const std::string label = param::label(parameter);
    return label == "dB" ? Unit::kDb : label == "Hz" ? Unit::kHz : Unit::kNone;
}

// An offset in dB on a VST parameter of the dB kind: the offset spans the parameter's own range
// around 0 (parameter 17 runs from -12 to +12 dB, so its offset does too).
PortSpec gainOffset(int parameter, float (*toDb)(float), const std::string& symbol)
{
    PortSpec port = makePort(PortKind::kControlIn, symbol, parameterName(parameter) + " Offset");
    const float span = (toDb(1.0f) - toDb(0.0f)) / 2.0f;
    port.minimum = -span;
    port.maximum = span;
    port.defaultValue = 0.0f;
    port.unit = unitOf(parameter);
    port.comment = "Added to the calibration's " + parameterName(parameter) + ".";
    port.vstParameter = parameter;
    return port;
}

// A stage switch of the VST: on leaves the stage as the calibration has it, off bypasses it.
PortSpec stageSwitch(int parameter, const std::string& symbol, const std::string& stage)
{
    PortSpec port = makePort(PortKind::kControlIn, symbol, parameterName(parameter));
    port.maximum = 1.0f;
    port.defaultValue = 1.0f;
    port.toggled = true;
    port.comment = "Off bypasses the " + stage + "; on applies it where the calibration does.";
    port.vstParameter = parameter;
    return port;
}

std::vector<PortSpec> build()
{
    std::vector<PortSpec> table;
    for (int c = 1; c <= 4; ++c)
        table.push_back(makePort(PortKind::kAudioIn, "capsule_" + std::to_string(c), "Capsule " + std::to_string(c)));
    // Port names cannot change with a control value: each output names what it carries in both
    // formats. FuMa gives W X Y Z, AmbiX the ACN order W Y Z X with SN3D weighting.
    const char* const outputs[4][2] = {{"out_1", "W"}, {"out_2", "X (FuMa) or Y (AmbiX)"},
                                       {"out_3", "Y (FuMa) or Z (AmbiX)"}, {"out_4", "Z (FuMa) or X (AmbiX)"}};
    for (const auto& output : outputs)
        table.push_back(makePort(PortKind::kAudioOut, output[0], output[1]));

    PortSpec format = makePort(PortKind::kControlIn, "output_format", "Output Format");
    format.maximum = 1.0f;
    format.enumeration = true;
    format.scalePoints = {{kFuMa, "FuMa"}, {kAmbiX, "AmbiX"}};
    format.comment = "FuMa: W X Y Z, W at -3 dB. AmbiX: ACN order W Y Z X, SN3D.";
    table.push_back(format);

    PortSpec orientation = makePort(PortKind::kControlIn, "orientation", "Orientation");
    orientation.maximum = 2.0f;
    orientation.enumeration = true;
    orientation.scalePoints = {{kUpright, "Upright"}, {kInverted, "Inverted"}, {kEndfire, "End-fire"}};
    orientation.comment = "How the microphone is mounted: standing, hung upside down, or lying with its top to the front.";
    table.push_back(orientation);

    // The built-in correction sets keep the numbers they have in SonquadVST's bank.
    PortSpec correction = makePort(PortKind::kControlIn, "correction", "Correction");
    correction.maximum = static_cast<float>(kCorrectionAsCalibrated);
    correction.defaultValue = static_cast<float>(kCorrectionAsCalibrated);
    correction.enumeration = true;
    correction.scalePoints = {{0, "None"}, {1, "1.47cm"}, {2, "2.3cm"}, {kCorrectionAsCalibrated, "As calibrated"}};
    correction.comment = "The post-matrix correction: a built-in capsule-spacing set, none, or the calibration's own.";
    correction.vstParameter = param::kPostMatrixFilterNumber;
    table.push_back(correction);

    table.push_back(stageSwitch(param::kLfEnabled, "lf_enabled", "low-frequency filters"));
    table.push_back(stageSwitch(param::kEqsEnabled, "eqs_enabled", "capsule equalisers"));
    table.push_back(stageSwitch(param::kAbMatrixEnabled, "ab_matrix_enabled", "A-to-B matrix"));

    for (const auto& [parameter, symbol] : {std::pair {param::kLfCutFreq, "lf_cut_freq"}, std::pair {param::kLfBoostFreq, "lf_boost_freq"}}) {
        PortSpec port = makePort(PortKind::kControlIn, symbol, parameterName(parameter));
        port.maximum = param::lfFrequencyHz(1.0f);
        port.defaultValue = kLfAsCalibrated;
        port.unit = unitOf(parameter);
        port.scalePoints = {{kLfAsCalibrated, "As calibrated"}};
        port.comment = "From " + std::to_string(static_cast<int>(param::lfFrequencyHz(0.0f))) + " Hz up; 0 keeps the calibration's frequency.";
        port.vstParameter = parameter;
        table.push_back(port);
    }
    for (int c = 0; c < 4; ++c)
        for (int o = 0; o < 4; ++o)
            table.push_back(gainOffset(param::capOutGain(c, o), &param::capOutGainDb,
                                       "cap" + std::to_string(c + 1) + "_out" + std::to_string(o + 1) + "_gain"));
    for (int c = 0; c < 4; ++c)
        table.push_back(gainOffset(param::capEqGain(c), &param::eqGainDb, "cap" + std::to_string(c + 1) + "_eq_gain"));
    const char* const channels[4] = {"w", "x", "y", "z"};
    for (int o = 0; o < 4; ++o)
        table.push_back(gainOffset(param::outputGain(o), &param::outputGainDb, std::string(channels[o]) + "_gain"));

    PortSpec latency = makePort(PortKind::kControlOut, "latency", "Latency");
    latency.maximum = 1024.0f;   // the FFT convolution's block length, the longest delay there is
    latency.reportsLatency = true;
    latency.comment = "Samples by which the output trails the input: 1024 with a convolution set, else 0.";
    table.push_back(latency);

    table.push_back(makePort(PortKind::kAtomIn, "control", "Control", "patch:Set of the calibration file."));
    table.push_back(makePort(PortKind::kAtomOut, "notify", "Notify", "patch:Set of the calibration file in use."));
    return table;
}

} // namespace

const std::vector<PortSpec>& ports()
{
    static const std::vector<PortSpec> table = build();
    return table;
}

} // namespace lv2plugin
