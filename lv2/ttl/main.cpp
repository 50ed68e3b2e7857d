// sonquad-lv2-ttl FOLDER: writes the bundle's manifest.ttl and SonquadLV2.ttl into FOLDER.
#include "lv2/Ports.h"
#include "lv2/ttl/TurtleWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonquad-lv2-ttl BUNDLE-FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::pair<const char*, std::string> files[] = {
        {"manifest.ttl", lv2plugin::manifestTurtle()},
        {lv2plugin::kDescriptionFile, lv2plugin::pluginTurtle()},
    };
    for (const auto& [name, text] : files) {
        std::ofstream out(folder / name, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "sonquad-lv2-ttl: cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}
