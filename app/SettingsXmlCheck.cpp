#include "SettingsXmlCheck.h"

#include <set>
#include <string_view>
#include <vector>

namespace
{
    // Before it parses a whole file, the framework reads only this much of it to learn the root
    // element's name, and steps past the end of that cut when it falls inside a multi-byte
    // character or a reference in the root's start tag.
    constexpr size_t rootNamePreReadBytes = 8192;

    constexpr bool isSpace (char c) noexcept
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r';
    }

    constexpr bool isNameStart (char c) noexcept
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    }

    constexpr bool isNameChar (char c) noexcept
    {
        return isNameStart (c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }

    constexpr bool isReferableCharacter (juce::uint32 c) noexcept
    {
        return c != 0 && c <= 0x10ffff && (c < 0xd800 || c > 0xdfff);
    }

    constexpr bool isXmlCharacter (juce::uint32 c) noexcept
    {
        return c == '\t' || c == '\n' || c == '\r'
                || (c >= 0x20 && c <= 0xd7ff) || (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
    }

    // The offset of the first byte that does not start a shortest-form UTF-8 sequence of an
    // XML character, or numBytes. Multi-byte sequences hold no ASCII bytes, so past this
    // point the text can be read byte by byte.
    size_t findInvalidCharacter (const juce::uint8* bytes, size_t numBytes) noexcept
    {
        for (size_t i = 0; i < numBytes;)
        {
            const auto lead = bytes[i];
            juce::uint32 c = lead;
            size_t length = 1;

            if (lead >= 0x80)
            {
                length = (lead & 0xe0) == 0xc0 ? 2 : (lead & 0xf0) == 0xe0 ? 3 : (lead & 0xf8) == 0xf0 ? 4 : 0;

                if (length == 0 || numBytes - i < length)
                    return i;

                c = lead & (0x7fu >> length);

                for (size_t k = 1; k < length; ++k)
                {
                    if ((bytes[i + k] & 0xc0) != 0x80)
                        return i;

                    c = (c << 6) | (bytes[i + k] & 0x3fu);
                }

                const juce::uint32 shortest[] = { 0, 0, 0x80, 0x800, 0x10000 };

                if (c < shortest[length])
                    return i;
            }

            if (! isXmlCharacter (c))
                return i;

            i += length;
        }

        return numBytes;
    }

    //==============================================================================
    /** Reads a text that is known to be valid UTF-8 through the structure that the check allows. */
    class Scanner final
    {
    public:
        Scanner (const char* textToScan, size_t numBytes) : text (textToScan, numBytes) {}

        juce::Result run()
        {
            return document() ? juce::Result::ok() : juce::Result::fail (error);
        }

    private:
        struct OpenElement
        {
            std::string_view name;
            bool hasText = false, hasElements = false;
        };

        bool document()
        {
            if (lookingAt ("\xef\xbb\xbf"))
                pos += 3;

            if (lookingAt ("<?xml") && pos + 5 < text.size() && isSpace (text[pos + 5]) && ! declaration())
                return false;

            if (! miscellany())
                return false;

            if (! (lookingAt ("<") && pos + 1 < text.size() && isNameStart (text[pos + 1])))
                return fail ("no root element");

            if (! startTag())
                return false;

            if (pos > rootNamePreReadBytes)
                return fail ("the root element's start tag ends beyond the first 8 KiB");

            while (! open.empty())
                if (! content())
                    return false;

            return miscellany() && (pos == text.size() || fail ("content after the root element"));
        }

        bool lookingAt (std::string_view s) const noexcept    { return text.compare (pos, s.size(), s) == 0; }

        bool fail (const juce::String& what)
        {
            if (error.isEmpty())
                error = what + " at byte " + juce::String ((juce::int64) pos);

            return false;
        }

        bool skipSpaces() noexcept
        {
            const auto start = pos;

            while (pos < text.size() && isSpace (text[pos]))
                ++pos;

            return pos > start;
        }

        std::string_view name() noexcept
        {
            const auto start = pos;

            while (pos < text.size() && isNameChar (text[pos]))
                ++pos;

            return text.substr (start, pos - start);
        }

        // After an attribute's name: white space, '=', white space, then the opening quote of its
        // value, where it stops.
        bool toQuotedValue()
        {
            skipSpaces();

            if (! lookingAt ("="))
                return false;

            ++pos;
            skipSpaces();
            return lookingAt ("\"") || lookingAt ("'");
        }

        // The framework's one-line writer streams a null line break for an element that follows
        // text; text after an element is refused as well, so that an element holds one or the other.
        bool addText()
        {
            if (open.back().hasElements)
                return fail ("text and child elements in one element");

            open.back().hasText = true;
            return true;
        }

        // The framework reads every file as UTF-8 whatever its declaration says, so a file that
        // declares another encoding would be misread.
        bool declaration()
        {
            const auto end = text.find ("?>", pos);

            if (end == std::string_view::npos || text.substr (pos + 1, end - pos - 1).find ('<') != std::string_view::npos)
                return fail ("a malformed XML declaration");

            pos += 5;

            for (;;)
            {
                const bool spaced = skipSpaces();

                if (pos == end)
                    break;

                if (! spaced || ! isNameStart (text[pos]))
                    return fail ("a malformed XML declaration");

                const auto pseudoAttribute = name();

                if (! toQuotedValue())
                    return fail ("a malformed XML declaration");

                const auto valueEnd = text.find (text[pos], pos + 1);

                if (valueEnd >= end)
                    return fail ("a malformed XML declaration");

                const auto value = text.substr (pos + 1, valueEnd - pos - 1);

                if (pseudoAttribute == "encoding"
                     && ! juce::String (value.data(), value.size()).equalsIgnoreCase ("UTF-8"))
                    return fail ("an encoding other than UTF-8");

                pos = valueEnd + 1;
            }

            pos = end + 2;
            return true;
        }

        bool comment()
        {
            const auto end = text.find ("--", pos + 4);

            if (end == std::string_view::npos || end + 2 >= text.size() || text[end + 2] != '>')
                return fail ("an unclosed comment, or '--' inside one");

            pos = end + 3;
            return true;
        }

        // White space and comments, before and after the root element.
        bool miscellany()
        {
            for (;;)
            {
                skipSpaces();

                if (! lookingAt ("<!--"))
                    return true;

                if (! comment())
                    return false;
            }
        }

        bool reference (juce::uint32& character)
        {
            static constexpr std::pair<std::string_view, char> predefined[] = {
                { "&amp;", '&' }, { "&lt;", '<' }, { "&gt;", '>' }, { "&quot;", '"' }, { "&apos;", '\'' }
            };

            for (const auto& [entity, c] : predefined)
            {
                if (lookingAt (entity))
                {
                    pos += entity.size();
                    character = (juce::uint32) c;
                    return true;
                }
            }

            const bool hex = lookingAt ("&#x");

            if (! hex && ! lookingAt ("&#"))
                return fail ("an unknown entity or a bare '&'");

            // The framework gives up after 8 hex or 12 decimal digits and misreads what follows.
            const auto digitsStart = pos + (hex ? 3 : 2);
            const auto maxDigits = hex ? 8u : 12u;
            auto end = digitsStart;
            juce::uint64 value = 0;

            for (; end < text.size() && end - digitsStart < maxDigits; ++end)
            {
                const auto digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) text[end])
                                       : (text[end] >= '0' && text[end] <= '9' ? text[end] - '0' : -1);

                if (digit < 0)
                    break;

                value = value * (hex ? 16u : 10u) + (juce::uint64) digit;
            }

            character = value <= 0x10ffff ? (juce::uint32) value : 0;

            if (end == digitsStart || end >= text.size() || text[end] != ';' || ! isReferableCharacter (character))
                return fail ("a malformed character reference");

            pos = end + 1;
            return true;
        }

        bool startTag()
        {
            if (! open.empty())
            {
                if (open.back().hasText)
                    return fail ("text and child elements in one element");

                open.back().hasElements = true;
            }

            if ((int) open.size() >= SettingsXmlCheck::maxDepth)
                return fail ("elements nested more than " + juce::String (SettingsXmlCheck::maxDepth) + " deep");

            ++pos;
            const auto tagName = name();
            std::set<std::string_view> attributeNames;

            for (;;)
            {
                const bool spaced = skipSpaces();

                if (lookingAt ("/>"))
                {
                    pos += 2;
                    return true;
                }

                if (lookingAt (">"))
                {
                    ++pos;
                    open.push_back ({ tagName, false, false });
                    return true;
                }

                if (! spaced || pos >= text.size() || ! isNameStart (text[pos]))
                    return fail ("a malformed start tag");

                if (! attributeNames.insert (name()).second)
                    return fail ("a repeated attribute");

                if (! toQuotedValue())
                    return fail ("an attribute without a quoted value");

                const auto quote = text[pos++];

                while (pos < text.size() && text[pos] != quote)
                {
                    juce::uint32 unused;

                    if (text[pos] == '<')
                        return fail ("'<' in an attribute value");

                    if (text[pos] != '&')
                        ++pos;
                    else if (! reference (unused))
                        return false;
                }

                if (pos >= text.size())
                    return fail ("an unclosed attribute value");

                ++pos;
            }
        }

        bool endTag()
        {
            pos += 2;

            if (name() != open.back().name)
                return fail ("an end tag that does not match its start tag");

            skipSpaces();

            if (! lookingAt (">"))
                return fail ("a malformed end tag");

            ++pos;
            open.pop_back();
            return true;
        }

        // One piece of an open element's content.
        bool content()
        {
            if (pos >= text.size())
                return fail ("an unclosed element");

            if (lookingAt ("</"))
                return endTag();

            if (lookingAt ("<!--"))
                return comment();

            if (lookingAt ("<![CDATA["))
            {
                const auto end = text.find ("]]>", pos + 9);

                if (end == std::string_view::npos)
                    return fail ("an unclosed CDATA section");

                pos = end + 3;
                return addText();   // the framework keeps even an empty section as a text node
            }

            if (lookingAt ("<"))
            {
                if (pos + 1 < text.size() && isNameStart (text[pos + 1]))
                    return startTag();

                return fail ("a processing instruction, declaration or malformed tag");
            }

            if (lookingAt ("&"))
            {
                juce::uint32 character;

                if (! reference (character))
                    return false;

                // The framework drops text that is only white space, written out or referred to.
                return (character < 0x80 && isSpace ((char) character)) || addText();
            }

            const auto end = std::min (text.find_first_of ("<&", pos), text.size());
            const auto characters = text.substr (pos, end - pos);

            if (characters.find ("]]>") != std::string_view::npos)
                return fail ("']]>' in text");

            pos = end;

            for (const auto c : characters)
                if (! isSpace (c))
                    return addText();

            return true;
        }

        const std::string_view text;
        size_t pos = 0;
        std::vector<OpenElement> open;
        juce::String error;
    };
}

//==============================================================================
juce::Result SettingsXmlCheck::check (const void* data, size_t numBytes)
{
    if (numBytes > maxBytes)
        return juce::Result::fail ("larger than " + juce::String ((juce::int64) maxBytes) + " bytes");

    const auto* bytes = static_cast<const juce::uint8*> (data);

    if (const auto invalid = findInvalidCharacter (bytes, numBytes); invalid < numBytes)
        return juce::Result::fail ("not UTF-8 text of XML characters at byte " + juce::String ((juce::int64) invalid));

    return Scanner (static_cast<const char*> (data), numBytes).run();
}

juce::Result SettingsXmlCheck::check (const juce::String& text)
{
    return check (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

std::unique_ptr<juce::XmlElement> SettingsXmlCheck::parse (const juce::String& text)
{
    if (check (text).failed())
        return {};

    return juce::XmlDocument::parse (text);
}
