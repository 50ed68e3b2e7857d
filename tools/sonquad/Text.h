// Small text helpers of the command-line host: locale-independent number parsing and
// formatting ('.' as the decimal point whatever the process locale), case-insensitive
// comparison, trimming, quoting of paths in messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

std::string_view trim(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);

// The whole of text as a number ("-3", "1.5", "2e3"), or nothing. No locale, no trailing junk.
std::optional<double> parseNumber(std::string_view text);
// The whole of text as a decimal integer, or nothing.
std::optional<long long> parseInteger(std::string_view text);

// Fixed-point text with precision decimals and '.' as the decimal point.
std::string fixed(double value, int precision);

// 'path' in single quotes, for messages.
std::string inQuotes(std::string_view path);

// Splits at every separator; empty fields are kept.
std::vector<std::string> split(std::string_view text, char separator);

// Pads or cuts text to width columns (UTF-8 characters count one each), left-aligned.
std::string padRight(std::string_view text, std::size_t width);
std::string padLeft(std::string_view text, std::size_t width);

} // namespace cli
