// sonquad: the command-line host of the plug-in. Everything but the hand-over of the command
// line lives in the sonquad_cli library, where the tests reach it.
#include "tools/sonquad/Commands.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    return cli::run(std::vector<std::string>(argv + 1, argv + argc));
}
