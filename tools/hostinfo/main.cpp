// sonquad-hostinfo: loads the plug-in module as a host does and prints what a host sees of it:
// the descriptor, the identity strings, the programs, every parameter's name, label and display
// over a grid of values, and the output of a fixed render through several programs. The output
// is the same byte for byte on every platform the plug-in is built for.
#include "tools/vsthost/PluginHost.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string defaultModulePath(const char* argv0)
{
    std::string self = argv0;
    const std::size_t slash = self.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
#if defined(_WIN32)
    return folder + "\\SonquadVST.dll";
#else
    return folder + "/SonquadVST.so";
#endif
}

std::uint32_t bitsOf(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A reproducible test signal from integer arithmetic only (no library functions, so every
// platform feeds the plug-in the same samples).
struct NoiseSource {
    std::uint32_t state;
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(state >> 8) - 0x800000) / 8388608.0f;
    }
};

void printDescriptor(vsthost::PluginInstance& plugin)
{
    const AEffect* e = plugin.effect();
    std::printf("descriptor\n");
    std::printf("  magic %08" PRIX32 " uniqueID %08" PRIX32 " version %d\n", static_cast<std::uint32_t>(e->magic),
                static_cast<std::uint32_t>(e->uniqueID), e->version);
    std::printf("  programs %d parameters %d inputs %d outputs %d flags %d initialDelay %d\n", e->numPrograms,
                e->numParams, e->numInputs, e->numOutputs, e->flags, e->initialDelay);
    char text[256] = {};
    plugin.dispatch(effGetEffectName, 0, 0, text);
    std::printf("  effect name \"%s\"\n", text);
    std::memset(text, 0, sizeof text);
    plugin.dispatch(effGetVendorString, 0, 0, text);
    std::printf("  vendor \"%s\"\n", text);
    std::memset(text, 0, sizeof text);
    plugin.dispatch(effGetProductString, 0, 0, text);
    std::printf("  product \"%s\"\n", text);
    std::printf("  vendor version %d  VST version %d  category %d\n",
                static_cast<int>(plugin.dispatch(effGetVendorVersion)),
                static_cast<int>(plugin.dispatch(effGetVstVersion)),
                static_cast<int>(plugin.dispatch(effGetPlugCategory)));
}

void printPrograms(vsthost::PluginInstance& plugin)
{
    std::printf("programs\n");
    const int count = plugin.effect()->numPrograms;
    for (int p = 0; p < count; ++p) {
        plugin.dispatch(effSetProgram, 0, p);
        std::printf("  %d \"%s\"\n", p, plugin.programName().c_str());
    }
    plugin.dispatch(effSetProgram, 0, 0);
}

void printParameters(vsthost::PluginInstance& plugin)
{
    static const float grid[] = {0.0f, 0.1f, 0.25f, 0.5f, 0.5001f, 0.75f, 0.999f, 1.0f};
    std::printf("parameters\n");
    const int count = plugin.effect()->numParams;
    for (int p = 0; p < count; ++p) {
        const float original = plugin.getParameter(p);
        std::printf("  %2d \"%s\" [%s]", p, plugin.parameterName(p).c_str(), plugin.parameterLabel(p).c_str());
        for (float v : grid) {
            plugin.setParameter(p, v);
            std::printf(" |%s", plugin.parameterDisplay(p).c_str());
        }
        std::printf("\n");
        plugin.setParameter(p, original);
    }
}

void printRender(vsthost::PluginInstance& plugin, const char* title, int blockSize, int frames)
{
    std::vector<std::vector<float>> buffers(4, std::vector<float>(static_cast<std::size_t>(frames)));
    NoiseSource noise {12345u};
    for (int n = 0; n < frames; ++n)
        for (auto& channel : buffers)
            channel[static_cast<std::size_t>(n)] = noise.next() * 0.5f;
    for (int offset = 0; offset < frames; offset += blockSize) {
        const int length = offset + blockSize <= frames ? blockSize : frames - offset;
        plugin.processReplacing(buffers, offset, length);
    }
    std::uint64_t hash = 1469598103934665603ull;   // FNV-1a over the output bits
    for (const auto& channel : buffers)
        for (float sample : channel) {
            hash ^= bitsOf(sample);
            hash *= 1099511628211ull;
        }
    std::printf("render %s: %d frames in blocks of %d, hash %016" PRIx64 "\n", title, frames, blockSize, hash);
    for (int k = 0; k < 4; ++k) {
        std::printf("  out %d:", k);
        for (int n = frames - 8; n < frames; ++n)
            std::printf(" %08" PRIX32, bitsOf(buffers[static_cast<std::size_t>(k)][static_cast<std::size_t>(n)]));
        std::printf("\n");
    }
}

void printRenders(vsthost::PluginInstance& plugin)
{
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effSetProgram, 0, 0);
    printRender(plugin, "program 0", 512, 6000);
    plugin.dispatch(effSetProgram, 0, 1);
    plugin.setParameter(7, 1.0f);     // EQs Enabled
    plugin.setParameter(16, 0.7f);    // Cap 1 EQ Gain
    plugin.setParameter(30, 0.2f);    // Cap 3 EQ Gain
    printRender(plugin, "program 1 with EQs", 333, 6000);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    printRender(plugin, "program 1 at 96 kHz", 4096, 9000);
    plugin.dispatch(effMainsChanged, 0, 0);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : defaultModulePath(argv[0]);
    std::string error;
    auto module = vsthost::PluginModule::open(path, error);
    if (!module) {
        std::fprintf(stderr, "sonquad-hostinfo: cannot load %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    auto plugin = vsthost::PluginInstance::create(*module);
    if (!plugin) {
        std::fprintf(stderr, "sonquad-hostinfo: the plug-in refused to load\n");
        return 1;
    }
    printDescriptor(*plugin);
    printPrograms(*plugin);
    printParameters(*plugin);
    printRenders(*plugin);
    return 0;
}
