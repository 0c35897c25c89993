#include "scene_description/ValueParsing.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace Orvana
{

bool parseBoolTrue(const std::string& text)
{
    return text == "true";
}

bool parseBoolNotFalse(const std::string& text)
{
    return text != "false";
}

int parseInteger(const std::string& text)
{
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double parseReal(const std::string& text)
{
    double value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

float parseFloat(const std::string& text)
{
    double value = parseReal(text);
    if (value > FLT_MAX)
        return FLT_MAX;
    if (value < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(value);
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

std::string numberText(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string localPath(const std::string& text)
{
#ifdef _WIN32
    return text;
#else
    std::string path = text;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
#endif
}

} // namespace Orvana
