#include "bridge/OSCPacketParser.h"
#include "platform/WellFormedUTF8.h"

#include <cstring>

namespace
{
using Byte = unsigned char;

/*  The bytes of one element: [pos, end). Every read first checks that what it needs
    lies before end, so no read can leave the element. */
struct Span
{
    const Byte* pos;
    const Byte* end;

    size_t remaining() const noexcept   { return (size_t) (end - pos); }
};

juce::uint32 readUint32 (const Byte* p) noexcept
{
    return ((juce::uint32) p[0] << 24) | ((juce::uint32) p[1] << 16) | ((juce::uint32) p[2] << 8) | (juce::uint32) p[3];
}

juce::uint64 readUint64 (const Byte* p) noexcept
{
    return ((juce::uint64) readUint32 (p) << 32) | readUint32 (p + 4);
}

//==============================================================================
/*  The check: walks the whole datagram once, building nothing; nullptr when it is well
    formed. Recursion follows bundle nesting only, so it is at most maxBundleDepth deep. */
class Checker final
{
public:
    explicit Checker (const Byte* datagramEndToUse) noexcept : datagramEnd (datagramEndToUse) {}

    /** One element filling exactly [span.pos, span.end): a message or a bundle. */
    const char* element (Span span, int depth) const noexcept
    {
        if (span.remaining() == 0)
            return "empty element";

        if (*span.pos == '/')
            return message (span);

        if (*span.pos == '#')
        {
            if (depth >= OSCPacketParser::maxBundleDepth)
                return "bundles nested too deep";

            return bundle (span, depth + 1);
        }

        return "element is neither a message nor a bundle";
    }

private:
    const char* message (Span span) const noexcept
    {
        if (auto* error = string (span, true))
            return error;

        if (span.remaining() == 0 || *span.pos != ',')
            return "missing type tag string";

        const auto* tags = span.pos + 1;

        if (auto* error = string (span, false))
            return error;

        for (; *tags != 0; ++tags)
        {
            switch (*tags)
            {
                case 'i': case 'f': case 'r':
                    if (span.remaining() < 4)
                        return "argument runs past the end of its element";

                    span.pos += 4;
                    break;

                case 's':
                    if (auto* error = string (span, false))
                        return error;

                    break;

                case 'b':
                    if (auto* error = blob (span))
                        return error;

                    break;

                default:
                    return "unsupported type tag";
            }
        }

        return span.remaining() == 0 ? nullptr : "message does not fill its element";
    }

    const char* bundle (Span span, int depth) const noexcept
    {
        static constexpr Byte header[8] = { '#', 'b', 'u', 'n', 'd', 'l', 'e', 0 };

        if (span.remaining() < 16 || std::memcmp (span.pos, header, sizeof (header)) != 0)
            return "bundle does not start with \"#bundle\" and a time tag";

        span.pos += 16;

        while (span.remaining() > 0)
        {
            if (span.remaining() < 4)
                return "bundle element size runs past the end of the bundle";

            const auto size = (juce::int32) readUint32 (span.pos);
            span.pos += 4;

            if (size < 0 || (size_t) size > span.remaining())
                return "bundle element size does not fit the bundle";

            if (auto* error = element ({ span.pos, span.pos + size }, depth))
                return error;

            span.pos += size;
        }

        return nullptr;
    }

    /** A string ended by its first zero, well-formed UTF-8, padded with zeros to four bytes. */
    static const char* string (Span& span, bool isAddress) noexcept
    {
        const auto* terminator = static_cast<const Byte*> (std::memchr (span.pos, 0, span.remaining()));

        if (terminator == nullptr)
            return "string has no terminating zero inside its element";

        const auto length = (size_t) (terminator - span.pos);
        const auto padded = (length + 4) & ~(size_t) 3;

        if (padded > span.remaining())
            return "string padding runs past the end of its element";

        if (! zeros (terminator, span.pos + padded))
            return "string padding is not zeros";

        if (! sx::platform::isWellFormedUTF8 (span.pos, length))
            return isAddress ? "address pattern is not well-formed UTF-8" : "string is not well-formed UTF-8";

        span.pos += padded;
        return nullptr;
    }

    const char* blob (Span& span) const noexcept
    {
        if (span.remaining() < 4)
            return "blob size runs past the end of its element";

        const auto size = (juce::int32) readUint32 (span.pos);
        span.pos += 4;

        if (size < 0)
            return "blob size is negative";

        const auto padded = ((size_t) size + 3) & ~(size_t) 3;

        if (padded > span.remaining())
            return "blob runs past the end of its element";

        // The framework refuses an empty blob with fewer than three bytes after its size
        // anywhere in the datagram (it asks for (size + 3) % 4 bytes); refused here too,
        // so that what is accepted stays exactly what it accepted.
        if (size == 0 && (size_t) (datagramEnd - span.pos) < 3)
            return "empty blob at the end of the datagram";

        if (! zeros (span.pos + size, span.pos + padded))
            return "blob padding is not zeros";

        span.pos += padded;
        return nullptr;
    }

    static bool zeros (const Byte* p, const Byte* end) noexcept
    {
        for (; p < end; ++p)
            if (*p != 0)
                return false;

        return true;
    }

    const Byte* const datagramEnd;
};

//==============================================================================
/*  The build: runs only on a datagram the check passed, so it reads without checking
    again; it mirrors the check's walk. juce::OSCAddressPattern may still throw
    juce::OSCFormatError for characters it does not allow in an address. */
struct Builder
{
    static juce::OSCBundle::Element element (Span span)
    {
        if (*span.pos == '/')
            return juce::OSCBundle::Element (message (span));

        return juce::OSCBundle::Element (bundle (span));
    }

    static juce::OSCMessage message (Span span)
    {
        juce::OSCMessage result { juce::OSCAddressPattern (string (span)) };
        const auto* tags = span.pos + 1;
        string (span);

        for (; *tags != 0; ++tags)
        {
            switch (*tags)
            {
                case 'i':
                    result.addArgument (juce::OSCArgument ((juce::int32) readUint32 (span.pos)));
                    span.pos += 4;
                    break;

                case 'f':
                {
                    const auto bits = readUint32 (span.pos);
                    float value;
                    std::memcpy (&value, &bits, sizeof (value));
                    result.addArgument (juce::OSCArgument (value));
                    span.pos += 4;
                    break;
                }

                case 'r':
                    result.addArgument (juce::OSCArgument (juce::OSCColour::fromInt32 (readUint32 (span.pos))));
                    span.pos += 4;
                    break;

                case 's':
                    result.addArgument (juce::OSCArgument (string (span)));
                    break;

                default:    // 'b'
                {
                    const auto size = (size_t) readUint32 (span.pos);
                    result.addArgument (juce::OSCArgument (juce::MemoryBlock (span.pos + 4, size)));
                    span.pos += 4 + ((size + 3) & ~(size_t) 3);
                    break;
                }
            }
        }

        return result;
    }

    static juce::OSCBundle bundle (Span span)
    {
        juce::OSCBundle result (juce::OSCTimeTag (readUint64 (span.pos + 8)));
        span.pos += 16;

        while (span.pos < span.end)
        {
            const auto size = (size_t) readUint32 (span.pos);
            span.pos += 4;
            result.addElement (element ({ span.pos, span.pos + size }));
            span.pos += size;
        }

        return result;
    }

    static juce::String string (Span& span)
    {
        const auto length = std::strlen (reinterpret_cast<const char*> (span.pos));
        auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (span.pos), (int) length);
        span.pos += (length + 4) & ~(size_t) 3;
        return text;
    }
};
} // namespace

//==============================================================================
const char* OSCPacketParser::check (const void* data, size_t size) noexcept
{
    if (data == nullptr || size == 0)
        return "empty datagram";

    const auto* begin = static_cast<const Byte*> (data);
    return Checker (begin + size).element ({ begin, begin + size }, 0);
}

std::optional<juce::OSCBundle::Element> OSCPacketParser::parse (const void* data, size_t size, const char** error)
{
    // Built in place and returned by name: an element has no move constructor, and a
    // copy would copy the whole message or bundle once more.
    std::optional<juce::OSCBundle::Element> result;
    const char* fault = check (data, size);

    if (fault == nullptr)
    {
        const auto* begin = static_cast<const Byte*> (data);
        const Span span { begin, begin + size };

        try
        {
            if (*begin == '/')
                result.emplace (Builder::message (span));
            else
                result.emplace (Builder::bundle (span));
        }
        catch (const juce::OSCFormatError&)
        {
            fault = "address pattern has characters an OSC address does not allow";
        }
    }

    if (error != nullptr)
        *error = fault;

    return result;
}
