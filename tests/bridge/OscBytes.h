#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

/*  Builds raw OSC packets byte by byte, independently of the framework's own writer,
    so that tests and benchmarks feed the receiver exactly what a remote sender would.
*/
namespace sx::test::osc
{

using Bytes = std::vector<std::uint8_t>;

inline void appendPaddedString (Bytes& out, const std::string& s)
{
    out.insert (out.end(), s.begin(), s.end());
    out.push_back (0);

    while (out.size() % 4 != 0)
        out.push_back (0);
}

inline void appendInt32 (Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back ((std::uint8_t) (v >> shift));
}

inline void appendFloat32 (Bytes& out, float f)
{
    std::uint32_t v;
    std::memcpy (&v, &f, sizeof (v));
    appendInt32 (out, v);
}

/** One argument: 'i' int32, 'f' float32 or 's' string. */
struct Arg
{
    Arg (int v) : tag ('i'), i (v) {}
    Arg (float v) : tag ('f'), f (v) {}
    Arg (const char* v) : tag ('s'), s (v) {}

    char tag;
    int i = 0;
    float f = 0;
    std::string s;
};

inline Bytes message (const std::string& address, const std::vector<Arg>& args = {})
{
    Bytes out;
    appendPaddedString (out, address);

    std::string tags = ",";
    for (const auto& a : args)
        tags += a.tag;

    appendPaddedString (out, tags);

    for (const auto& a : args)
    {
        if (a.tag == 'i')       appendInt32 (out, (std::uint32_t) a.i);
        else if (a.tag == 'f')  appendFloat32 (out, a.f);
        else                    appendPaddedString (out, a.s);
    }

    return out;
}

/** A bundle with an immediate time tag; each element is a message or another bundle. */
inline Bytes bundle (const std::vector<Bytes>& elements)
{
    Bytes out;
    appendPaddedString (out, "#bundle");
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
