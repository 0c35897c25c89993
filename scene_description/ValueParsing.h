#pragma once

#include <initializer_list>
#include <string>
#include <utility>

namespace Orvana
{

// Text-to-value rules shared by every description file.

// True only for the exact text "true".
bool parseBoolTrue(const std::string& text);
// False only for the exact text "false"; anything else, the empty text included, is true.
bool parseBoolNotFalse(const std::string& text);
// The leading decimal integer as atoi reads it (0 when there is none), saturated to the int range.
int parseInteger(const std::string& text);
// The leading real number as atof reads it (0 when there is none). Infinities and NaN read as 0, so
// that no clamp or "0 or less" rule can be slipped past.
double parseReal(const std::string& text);
// parseReal, saturated to the float range.
float parseFloat(const std::string& text);

// The value of the first keyword equal to text (exact, case-sensitive), else default_value.
template <typename Value>
Value parseKeyword(const std::string& text, std::initializer_list<std::pair<const char*, Value>> keywords,
                   Value default_value = Value(0))
{
    for (const auto& keyword : keywords)
        if (text == keyword.first)
            return keyword.second;
    return default_value;
}

const char* boolText(bool value);

// A number as the standard stream writes it, six significant digits ("80", "1.5").
std::string numberText(double value);

// A file name read from a description file, with this system's separators. Scenes written on
// Windows name their files "models\cube.ive"; a backslash separates folders here too.
std::string localPath(const std::string& text);

} // namespace Orvana
