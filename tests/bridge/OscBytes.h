#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Raw OSC packets built byte by byte, independently of the framework's own writer.
namespace sx::test::osc
{
using Bytes = std::vector<std::uint8_t>;

inline void appendPadded (Bytes& out, const std::string& s)
{
    out.insert (out.end(), s.begin(), s.end());
    out.resize ((out.size() + 4) & ~(size_t) 3);   // at least one terminating zero
}

inline void appendInt32 (Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back ((std::uint8_t) (v >> shift));
}

/** An int32 or float32 argument. */
struct Arg
{
    Arg (int v) : tag ('i'), bits ((std::uint32_t) v) {}
    Arg (float v) : tag ('f') { std::memcpy (&bits, &v, sizeof (bits)); }

    char tag;
    std::uint32_t bits = 0;
};

inline Bytes message (const std::string& address, const std::vector<Arg>& args = {})
{
    std::string tags = ",";
    for (const auto& a : args)
        tags += a.tag;

    Bytes out;
    appendPadded (out, address);
    appendPadded (out, tags);
    for (const auto& a : args)
        appendInt32 (out, a.bits);
    return out;
}

/** A bundle with an immediate time tag; each element is a message or another bundle. */
inline Bytes bundle (const std::vector<Bytes>& elements)
{
    Bytes out;
    appendPadded (out, "#bundle");
    appendInt32 (out, 0);
    appendInt32 (out, 1);

    for (const auto& e : elements)
    {
        appendInt32 (out, (std::uint32_t) e.size());
        out.insert (out.end(), e.begin(), e.end());
    }
    return out;
}
} // namespace sx::test::osc
