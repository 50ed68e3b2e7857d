// The commands of sonquad and the entry that dispatches to them. Each command prints its
// results on standard output and its problems on standard error, one line each, and returns the
// process's exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

// args: the command line without the program's name. Never throws.
int run(const std::vector<std::string>& args);

int runRender(const std::vector<std::string>& args);
int runPrograms(const std::vector<std::string>& args);
int runParams(const std::vector<std::string>& args);
int runCheck(const std::vector<std::string>& args);
int runSynth(const std::vector<std::string>& args);
int runAnalyze(const std::vector<std::string>& args);
int runDemo(const std::vector<std::string>& args);

// The usage text of one command, or of all with an empty name.
std::string usage(const std::string& command);

} // namespace cli
