#include "tools/sonquad/Arguments.h"

#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Text.h"

namespace cli {

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<OptionDefinition>& definitions,
                     const std::string& commandName)
    : command(commandName)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || parseNumber(arg)) {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            inlineValue = arg.substr(equals + 1);
        }
        const OptionDefinition* option = nullptr;
        for (const OptionDefinition& candidate : definitions)
            if (name == candidate.name || (candidate.alias && name == candidate.alias))
                option = &candidate;
        if (!option)
            throw UsageError("unknown option " + inQuotes(name) + " for " + command + " (sonquad help " + command + ")");
        std::vector<std::string>& slot = given[option->name];
        if (!option->takesValue) {
            if (inlineValue)
                throw UsageError(std::string(option->name) + " takes no value");
            slot.assign(1, "");
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= args.size())
                throw UsageError(std::string(option->name) + " needs a value");
            value = args[++i];
        }
        if (option->repeats)
            slot.push_back(value);
        else
            slot.assign(1, value);
    }
}

bool Arguments::flag(const std::string& name) const { return given.count(name) > 0; }

std::optional<std::string> Arguments::value(const std::string& name) const
{
    const auto found = given.find(name);
    if (found == given.end() || found->second.empty())
        return std::nullopt;
    return found->second.back();
}

std::vector<std::string> Arguments::values(const std::string& name) const
{
    const auto found = given.find(name);
    return found == given.end() ? std::vector<std::string> {} : found->second;
}

std::optional<double> Arguments::number(const std::string& name) const
{
    const std::optional<std::string> text = value(name);
    if (!text)
        return std::nullopt;
    const std::optional<double> parsed = parseNumber(trim(*text));
    if (!parsed)
        throw UsageError(name + " takes a number, not " + inQuotes(*text));
    return parsed;
}

std::optional<long long> Arguments::integer(const std::string& name) const
{
    const std::optional<std::string> text = value(name);
    if (!text)
        return std::nullopt;
    const std::optional<long long> parsed = parseInteger(trim(*text));
    if (!parsed)
        throw UsageError(name + " takes a whole number, not " + inQuotes(*text));
    return parsed;
}

} // namespace cli
