#pragma once

#include <string>

namespace sx::test
{

/** Text as it stands in a double-quoted attribute of a settings file written by hand. */
inline std::string escapedForAttribute (const std::string& text)
{
    std::string result;

    for (const auto c : text)
        result += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : c == '&' ? "&amp;" : std::string (1, c);

    return result;
}

} // namespace sx::test
