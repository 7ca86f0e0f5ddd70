#pragma once

#include <juce_osc/juce_osc.h>

#include <cstddef>
#include <optional>

/*  Reads one OSC datagram strictly: checks its whole layout first, without building
    anything, and only then builds the juce::OSCMessage or juce::OSCBundle through
    their public API. Pure: no socket, no thread, no state.

    The framework's own parser (private to juce::OSCReceiver) cannot be used: its
    address tokeniser decodes a lone byte such as 0xAF as '/' and then copies a string
    whose end lies before its start, so one datagram crashes the application; it takes
    a blob whose declared size runs past the end of the datagram, or is negative; and
    it copies every nested bundle once per level, so a datagram of thousands of nested
    bundles holds the receiver thread for most of a second.

    The check refuses a datagram unless:
      - a message's address pattern and every string argument are well-formed UTF-8
        (the Unicode standard's definition: no stray continuation or lead byte, no
        overlong form, no surrogate, nothing above U+10FFFF), ended by the first zero,
        padded to a multiple of four with zeros only;
      - a type tag string follows the address and starts with ',', and every type is
        one the framework supports (i, f, s, b, r);
      - every argument lies inside its element; a blob's size is neither negative nor
        past the end of its element, and its padding is zeros;
      - every bundle starts with "#bundle", a time tag, then elements whose declared
        sizes fill it exactly; each element starts with '/' (a message) or '#' (a bundle)
        and is read exactly to its declared end;
      - bundles are nested at most maxBundleDepth deep;
      - the whole datagram is consumed exactly.
    A message's address is then handed to juce::OSCAddressPattern, which refuses
    characters outside printable ASCII and " #/" inside a component; its
    juce::OSCFormatError makes the datagram a format error too.

    For every datagram the framework's parser (JUCE 7.0.5) reads correctly, the result
    is the same: the same messages, argument types and values (floats bit for bit),
    time tags and element order. One deliberate match of a framework quirk: a blob of
    size zero that ends the datagram is refused, as the framework refuses it, so that
    no packet's MIDI or log line changes.
*/
class OSCPacketParser final
{
public:
    /** The deepest nesting of bundles accepted: a bundle inside a bundle is depth 2.
        Sondrevix VR nests at most one or two levels and no other sender of this
        vocabulary needs more than a few; eight leaves room for any of them while
        bounding what one datagram can cost. Each level is copied once more when it
        is added to the bundle around it, so unbounded nesting costs the square of the
        depth: 3,273 levels in one 64 KB datagram took 0.62 s of the receiver thread.
        The check refuses deeper datagrams before anything is built. */
    static constexpr int maxBundleDepth = 8;

    /** Checks the datagram's layout without building anything; nullptr when it is well
        formed, otherwise a short description of the first fault found. */
    static const char* check (const void* data, size_t size) noexcept;

    /** Checks, then builds. Nothing when the datagram is malformed; the reason is then
        stored in *error when error is not null. */
    static std::optional<juce::OSCBundle::Element> parse (const void* data, size_t size,
                                                          const char** error = nullptr);
};
