// The command line of one command: options (with their values) and positional arguments.
//
// Options are "--name VALUE", "--name=VALUE" or a short alias ("-o VALUE"); flags take no value;
// "--" ends the options. An option given twice keeps its last value unless it repeats (--set,
// --source), where every value counts in order.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct OptionDefinition {
    const char* name;        // "--output"
    const char* alias;       // "-o", or nullptr
    bool takesValue;
    bool repeats;            // every value kept
};

class Arguments {
public:
    // Parses args (after the command's name) against the command's options; throws UsageError
    // for an unknown option or a missing value.
    Arguments(const std::vector<std::string>& args, const std::vector<OptionDefinition>& definitions, const std::string& command);

    const std::vector<std::string>& positional() const { return positionals; }
    bool flag(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
    std::vector<std::string> values(const std::string& name) const;

    // Typed values; throw UsageError naming the option when the text is not one.
    std::optional<double> number(const std::string& name) const;
    std::optional<long long> integer(const std::string& name) const;

private:
    std::vector<std::string> positionals;                     // arguments that are not options, in order
    std::map<std::string, std::vector<std::string>> given;   // option name -> values in order
    std::string command;                                      // for messages
};

} // namespace cli
