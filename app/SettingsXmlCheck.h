#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/*  Decides whether an XML text may be handed to the framework's XML parser and, once parsed,
    to its one-line writer.

    Both trust their input: some malformed documents make the parser loop for ever, recurse
    until the stack runs out or read past the end of its buffer, and the one-line writer
    crashes on an element that follows text in the same parent. So a text passes only when it
    keeps to a strict subset of XML, wide enough for everything the framework writes and for
    ordinary hand edits:

    - UTF-8 (an optional byte order mark first) of characters that XML allows;
    - an optional XML declaration at the very start, declaring no encoding but UTF-8 (the
      framework reads every text as UTF-8), comments, one root element;
    - elements with ASCII names and quoted attributes, holding either text or child elements,
      never both (white space aside; a CDATA section counts as text);
    - character data, CDATA sections, the five predefined entities and numeric references
      to characters other than 0 and the surrogates (the framework writes control
      characters as references), of at most 8 hex or 12 decimal digits as the framework reads;
    - at most maxBytes in all, and elements nested at most maxDepth deep.

    Anything else fails: other processing instructions, DOCTYPE, unknown or bare '&',
    mismatched or unclosed tags, anything but comments after the root element.
*/
class SettingsXmlCheck final
{
public:
    /** The application's own file is under 4 KB, so this leaves room for many devices and hand
        edits. Loading costs the square of the number of keys (the framework finds each in a
        list): a 1 MiB file of 20,000 keys held the start up for 8 s, while one of this size
        costs milliseconds. SettingsFile never writes a larger file. */
    static constexpr size_t maxBytes = 64 * 1024;

    /** The application's own file nests 4 deep. The framework's parser, copier and writer
        recurse once per level, so a deep file overflows the stack (200,000 levels did). */
    static constexpr int maxDepth = 32;

    /** Ok, or what is wrong and at which byte, in one line. */
    static juce::Result check (const void* data, size_t numBytes);
    static juce::Result check (const juce::String& text);

    /** The text's element when the text passes the check and the framework parses it; else null. */
    static std::unique_ptr<juce::XmlElement> parse (const juce::String& text);
};
