// The host's user-interface thread sets parameters and programs while its audio thread processes.
// Run under ThreadSanitizer in CI: no data race may be reported.
#include "LoadedPlugin.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

TEST(Threads, ParameterAndProgramChangesDuringProcessingKeepTheOutputFinite)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin->dispatch(effMainsChanged, 0, 1);

    std::atomic<bool> running {true};
    std::atomic<bool> finite {true};
    std::thread audio([&] {
        std::vector<std::vector<float>> buffers(4, std::vector<float>(256));
        unsigned n = 0;
        while (running.load()) {
            for (auto& channel : buffers)
                for (float& s : channel)
                    s = static_cast<float>((n++ % 200)) / 100.0f - 1.0f;
            plugin->processReplacing(buffers, 0, 256);
            for (const auto& channel : buffers)
                for (float s : channel)
                    if (!std::isfinite(s))
                        finite = false;
        }
    });

    for (int round = 0; round < 300; ++round) {
        plugin->dispatch(effSetProgram, 0, round % 8);
        for (int p = 0; p < 46; ++p)
            plugin->setParameter(p, static_cast<float>((round * 7 + p) % 11) / 10.0f);
        char name[32];
        plugin->dispatch(effGetProgramName, 0, 0, name);
    }
    running = false;
    audio.join();
    EXPECT_TRUE(finite.load());
}

} // namespace
