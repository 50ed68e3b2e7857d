#include "lv2/ttl/TurtleWriter.h"

#include "lv2/Ports.h"

#include <charconv>
#include <sstream>

namespace lv2plugin {

namespace {

constexpr const char* kPrefixes =
    "@prefix atom:   <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:   <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:   <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix log:    <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix lv2:    <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix patch:  <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix rdfs:   <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state:  <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units:  <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:   <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work:   <http://lv2plug.in/ns/ext/worker#> .\n";

// A Turtle decimal: the shortest text that reads back as the same float, with a '.'.
std::string number(float value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string out(text, result.ptr);
    if (out.find_first_of(".e") == std::string::npos)
        out += ".0";
    return out;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void writePort(std::ostringstream& ttl, const PortSpec& port, uint32_t index)
{
    const char* classes = "";
    switch (port.kind) {
    case PortKind::kAudioIn: classes = "lv2:AudioPort , lv2:InputPort"; break;
    case PortKind::kAudioOut: classes = "lv2:AudioPort , lv2:OutputPort"; break;
    case PortKind::kControlIn: classes = "lv2:ControlPort , lv2:InputPort"; break;
    case PortKind::kControlOut: classes = "lv2:ControlPort , lv2:OutputPort"; break;
    case PortKind::kAtomIn: classes = "atom:AtomPort , lv2:InputPort"; break;
    case PortKind::kAtomOut: classes = "atom:AtomPort , lv2:OutputPort"; break;
    }
    ttl << "\t\ta " << classes << " ;\n";
    ttl << "\t\tlv2:index " << index << " ;\n";
    ttl << "\t\tlv2:symbol " << quoted(port.symbol) << " ;\n";
    ttl << "\t\tlv2:name " << quoted(port.name);
    if (!port.comment.empty())
        ttl << " ;\n\t\trdfs:comment " << quoted(port.comment);
    const bool control = port.kind == PortKind::kControlIn || port.kind == PortKind::kControlOut;
    if (control) {
        ttl << " ;\n\t\tlv2:minimum " << number(port.minimum) << " ;\n\t\tlv2:maximum " << number(port.maximum);
        if (port.kind == PortKind::kControlIn)
            ttl << " ;\n\t\tlv2:default " << number(port.defaultValue);
        if (port.unit != Unit::kNone)
            ttl << " ;\n\t\tunits:unit " << (port.unit == Unit::kDb ? "units:db" : "units:hz");
        if (port.toggled)
            ttl << " ;\n\t\tlv2:portProperty lv2:toggled";
        if (port.enumeration)
            ttl << " ;\n\t\tlv2:portProperty lv2:integer , lv2:enumeration";
        if (port.reportsLatency)
            ttl << " ;\n\t\tlv2:designation lv2:latency ;\n\t\tlv2:portProperty lv2:reportsLatency , lv2:integer";
        for (std::size_t i = 0; i < port.scalePoints.size(); ++i)
            ttl << (i == 0 ? " ;\n\t\tlv2:scalePoint " : " , ") << "[\n\t\t\trdfs:label "
                << quoted(port.scalePoints[i].label) << " ;\n\t\t\trdf:value " << number(port.scalePoints[i].value)
                << "\n\t\t]";
    }
    if (port.kind == PortKind::kAtomIn || port.kind == PortKind::kAtomOut) {
        // Optional, so that hosts without atom support (lv2apply) can still run the plug-in.
        ttl << " ;\n\t\tatom:bufferType atom:Sequence ;\n\t\tatom:supports patch:Message ;\n"
               "\t\tlv2:designation lv2:control ;\n\t\tlv2:portProperty lv2:connectionOptional";
    }
    ttl << "\n";
}

} // namespace

std::string manifestTurtle()
{
    std::ostringstream ttl;
    ttl << "# Generated from lv2/Ports.h by sonquad-lv2-ttl: do not edit.\n"
           "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
        << "<" << kPluginUri << ">\n"
        << "\ta lv2:Plugin ;\n"
        << "\tlv2:binary <" << kBinaryName << "> ;\n"
        << "\trdfs:seeAlso <" << kDescriptionFile << "> .\n";
    return ttl.str();
}

std::string pluginTurtle()
{
    std::ostringstream ttl;
    ttl << "# Generated from lv2/Ports.h by sonquad-lv2-ttl: do not edit.\n" << kPrefixes
        << "@prefix rdf:    <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n\n";
    ttl << "<" << kCalibrationUri << ">\n"
        << "\ta lv2:Parameter ;\n"
        << "\trdfs:label \"Calibration\" ;\n"
        << "\trdfs:comment " << quoted("The microphone's calibration: a text calibration (.txt) with its coefficient "
                                       "files, or a processor configuration (.sonq). None: the built-in uncalibrated "
                                       "program.")
        << " ;\n"
        << "\trdfs:range atom:Path .\n\n";
    // The vendor belongs to the project the plug-in is part of (doap:maintainer applies to a
    // doap:Project); hosts find it through lv2:project.
    ttl << "<" << kProjectUri << ">\n"
        << "\ta doap:Project ;\n"
        << "\tdoap:name \"Sonquad\" ;\n"
        << "\tdoap:maintainer [\n\t\tfoaf:name \"Morlane\"\n\t] .\n\n";
    ttl << "<" << kPluginUri << ">\n"
        << "\ta lv2:Plugin , lv2:SpatialPlugin ;\n"
        << "\tdoap:name \"Sonquadrum\" ;\n"
        << "\tlv2:project <" << kProjectUri << "> ;\n"
        << "\tlv2:minorVersion 8 ;\n"
        << "\tlv2:microVersion 0 ;\n"
        << "\trdfs:comment " << quoted("A-format from the four capsules of a tetrahedral microphone to first-order "
                                       "B-format, FuMa or AmbiX, with the microphone's calibration.")
        << " ;\n"
        // Nothing is required: a host without URIDs, worker or log (lv2apply has none) still
        // gets the conversion with the built-in calibration.
        << "\tlv2:optionalFeature urid:map , work:schedule , log:log , lv2:hardRTCapable , "
           "state:threadSafeRestore ;\n"
        << "\tlv2:extensionData state:interface , work:interface ;\n"
        << "\tpatch:writable <" << kCalibrationUri << "> ;\n";
    const std::vector<PortSpec>& table = ports();
    for (uint32_t i = 0; i < table.size(); ++i) {
        ttl << (i == 0 ? "\tlv2:port [\n" : "\t] , [\n");
        writePort(ttl, table[i], i);
    }
    ttl << "\t] .\n";
    return ttl.str();
}

} // namespace lv2plugin
