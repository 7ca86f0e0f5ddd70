#pragma once

#include <cstddef>

namespace sx::platform
{

/** Well-formed UTF-8 as the Unicode standard defines it (table 3-7).

    Text that comes from outside (OSC strings, the system's host name) is read as UTF-8
    only when this holds: the framework would read anything else into characters that
    were never sent, or into code points that have no UTF-8 form at all.
*/
inline bool isWellFormedUTF8 (const unsigned char* p, size_t size) noexcept
{
    const auto* const end = p + size;

    const auto continuation = [] (unsigned char b, unsigned char low = 0x80, unsigned char high = 0xbf) noexcept
    {
        return b >= low && b <= high;
    };

    while (p < end)
    {
        const auto b = *p;

        if (b < 0x80)
        {
            ++p;
            continue;
        }

        const auto left = (size_t) (end - p);

        if (b >= 0xc2 && b <= 0xdf)
        {
            if (left < 2 || ! continuation (p[1]))
                return false;

            p += 2;
        }
        else if (b >= 0xe0 && b <= 0xef)
        {
            const unsigned char low  = b == 0xe0 ? 0xa0 : 0x80;     // no overlong form
            const unsigned char high = b == 0xed ? 0x9f : 0xbf;     // no surrogate

            if (left < 3 || ! continuation (p[1], low, high) || ! continuation (p[2]))
                return false;

            p += 3;
        }
        else if (b >= 0xf0 && b <= 0xf4)
        {
            const unsigned char low  = b == 0xf0 ? 0x90 : 0x80;     // no overlong form
            const unsigned char high = b == 0xf4 ? 0x8f : 0xbf;     // nothing above U+10FFFF

            if (left < 4 || ! continuation (p[1], low, high) || ! continuation (p[2]) || ! continuation (p[3]))
                return false;

            p += 4;
        }
        else
        {
            return false;   // a stray continuation byte, C0, C1 or F5 to FF
        }
    }

    return true;
}

} // namespace sx::platform
