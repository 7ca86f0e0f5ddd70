#include "hotspot/SystemSettingsScripts.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

using namespace WiFiDirect::macOS;

namespace
{
// The scripts' localised names joined by "|", character for character: U+2011 in the second
// Wi-Fi name, and the repeated entries.
const juce::String wifiNames (juce::CharPointer_UTF8 (
    "Wi-Fi|Wi‑Fi|WLAN|Wifi|רשת אלחוטית|वाई-फ़ाई"));
const juce::String sharingNames (juce::CharPointer_UTF8 (
    "Sharing|Compartir|共享|共享|分享|共有|Partage|Teilen|Общий доступ|"
    "Compartilhamento|Partilha|Condivisione|공유|Paylaşma|Delen|المشاركة|"
    "การแชร์|Delning|Deling|Chia sẻ|Deling|Udostępnianie|Jako|Berbagi|שיתוף|"
    "Κοινή χρήση|Partajare|Megosztás|Sdílení|Compartir|Zdieľanie|Поширення|"
    "Dijeljenje|Perkongsian|शेयरिंग"));
const juce::String internetSharingNames (juce::CharPointer_UTF8 (
    "Internet Sharing|Compartir Internet|互联网共享|網際網路共享|互聯網分享|"
    "インターネット共有|Partage Internet|Internetfreigabe|Общий интернет|"
    "Compartilhar Internet|Partilha de internet|Condivisione internet|인터넷 공유|"
    "İnternet Paylaşma|Internetdeling|مشاركة الإنترنت|"
    "การแชร์อินเทอร์เน็ต|Internetdelning|Internetdeling|"
    "Chia sẻ internet|Internettdeling|Udostępnianie Internetu|Internet-jako|Berbagi Internet|"
    "שיתוף החיבור לאינטרנט|Κοινή χρήση Διαδικτύου|"
    "Partajare internet|Internetmegosztás|Sdílení internetu|Compartir internet|"
    "Zdieľanie internetu|Інтернет-шлюз|Internet dijeljenje|Perkongsian Internet|"
    "इंटरनेट शेयरिंग"));

// What the line raising each error says; the "L" messages go on with the user's language.
std::map<int, juce::String> messages()
{
    const std::pair<std::vector<int>, const char*> groups[] = {
        { { 500, 505 }, "\"System Preferences > Sharing window did not open in time.\"" },
        { { 501, 506 }, "\"System Preferences > Sharing table did not open in time.\"" },
        { { 502, 507 }, "\"Could not find Internet Sharing row in System Preferences > Sharing table because no row was selected. "
                        "Current language: \" & my languageText()" },
        { { 503, 508, 514, 520 }, "wifiRowMessage(rowNames)" },
        { { 504 }, "\"System Preferences > Sharing > Internet Sharing start dialog did not open in time.\"" },
        { { 509, 521, 522 }, "\"System Settings > Sharing > Internet Sharing > Wi-Fi options popup did not open in time.\"" },
        { { 510, 516 }, "\"System Settings window did not open in time,\"" },
        { { 511, 517 }, "\"Could not find Internet Sharing checkbox for language \" & my languageText()" },
        { { 512, 518 }, "\"Could not find Sharing window or Internet Sharing checkbox for language \" & my languageText()" },
        { { 513, 519 }, "\"System Settings > Sharing window > Internet Sharing Options sheet did not open in time.\"" },
        { { 515 }, "\"System Settings > Sharing window > Internet Sharing Start Dialog did not open in time.\"" },
        { { 523 }, "\"System Settings > Sharing > Internet Sharing > Wi-Fi options popup was not closed by the user in time.\"" },
        { { 524 }, "\"System Settings > Sharing > Internet Sharing Options > Authentication dialog was not closed by the user in time.\"" } };

    std::map<int, juce::String> byNumber;

    for (const auto& [numbers, message] : groups)
        for (const auto number : numbers)
            byNumber[number] = message;

    return byNumber;
}

struct Text { const char* what; juce::String source; std::set<int> errors; bool localisedWindowNames, fixedWaitLimit; };

// Chosen by the versions that the hotspot flows pass: 12 and none mean System Preferences.
std::vector<Text> texts()
{
    return { { "start, below 13", startInternetSharingScript (12), { 500, 501, 502, 503, 504 }, false, true },
             { "start, 13", startInternetSharingScript (13), { 510, 511, 512, 513, 514, 515 }, true, true },
             { "start, above 13", startInternetSharingScript (14), { 510, 513, 514, 515, 522, 523, 524 }, false, false },
             { "options, no version", wifiOptionsScript (std::nullopt), { 505, 506, 507, 508, 509 }, false, true },
             { "options, 13", wifiOptionsScript (13), { 516, 517, 518, 519, 520, 521 }, true, false },
             { "options, above 13", wifiOptionsScript (14), { 510, 513, 514, 522, 524 }, false, false } };
}

// Every match of the pattern in the text, each as its groups (0: the whole match).
std::vector<std::vector<std::string>> matchesIn (const juce::String& text, const char* pattern)
{
    const auto s = text.toStdString();
    const std::regex re (pattern);
    std::vector<std::vector<std::string>> result;

    for (std::sregex_iterator it (s.begin(), s.end(), re), end; it != end; ++it)
    {
        auto& groups = result.emplace_back();

        for (const auto& group : *it)
            groups.push_back (group.str());
    }

    return result;
}

// The quoted items of the list that the line "set NAME to {...}" gives, joined by "|"; empty without that line.
juce::String listSetIn (const juce::String& source, const juce::String& name)
{
    juce::StringArray items;

    for (const auto& match : matchesIn (source.fromFirstOccurrenceOf ("\nset " + name + " to {", false, false)
                                              .upToFirstOccurrenceOf ("}\n", false, false), "\"([^\"]*)\""))
        items.add (juce::String::fromUTF8 (match[1].c_str()));

    return items.joinIntoString ("|");
}
}

TEST (SystemSettingsScripts, EachTextRaisesExactlyItsErrorsWithTheirMessages)
{
    const auto expected = messages();

    for (const auto& t : texts())
    {
        SCOPED_TRACE (t.what);
        std::set<int> raised;

        for (const auto& match : matchesIn (t.source, "\\b5[0-2][0-9]\\b"))
            raised.insert (std::stoi (match[0]));

        EXPECT_EQ (raised, t.errors);

        for (const auto number : t.errors)
        {
            const auto lines = juce::StringArray::fromLines (t.source);
            EXPECT_TRUE (std::any_of (lines.begin(), lines.end(), [&] (const juce::String& line)
                                      { return line.contains (juce::String (number)) && line.contains (expected.at (number)); })) << number;
        }
    }
}

TEST (SystemSettingsScripts, LocalisedListsAreExactAndOnlyInTheTextsThatUseThem)
{
    for (const auto& t : texts())
    {
        SCOPED_TRACE (t.what);
        EXPECT_EQ (listSetIn (t.source, "WIFI_STRINGS"), wifiNames);
        EXPECT_EQ (listSetIn (t.source, "SHARING_STRINGS"), t.localisedWindowNames ? sharingNames : juce::String());
        EXPECT_EQ (listSetIn (t.source, "INTERNET_SHARING_STRINGS"), t.localisedWindowNames ? internetSharingNames : juce::String());
    }
}

TEST (SystemSettingsScripts, BlocksBalanceAndWaitsCarryTheirLimits)
{
    const std::map<int, int> longWaits { { 521, 120 }, { 522, 120 }, { 523, 120 }, { 524, 60 } };   // every other: 10 seconds

    for (const auto& t : texts())
    {
        SCOPED_TRACE (t.what);
        EXPECT_TRUE (t.source.startsWith ("use framework \"Foundation\"\nuse framework \"AppKit\"\nuse scripting additions\n"));
        EXPECT_TRUE (t.source.contains ("URLWithString:\"x-apple.systempreferences:com.apple.preferences.sharing?Internet\""));
        EXPECT_TRUE (t.source.contains ("\"`\" & (first word of (do shell script \"defaults read NSGlobalDomain AppleLanguages\")) & \"`\""));
        EXPECT_TRUE (t.source.contains ("\"Could not find Wi-Fi row in System Preferences > Sharing > Internet Sharing in the `To computers using:` "
                                        "table for language \" & my languageText() & \" with rows: \" & rowNamesText"));

        // Every block that a line opens is closed by the matching "end"; no handler catches errors.
        juce::StringArray open;

        for (auto line : juce::StringArray::fromLines (t.source))
        {
            line = line.trim();

            if (line.startsWith ("end "))
            {
                EXPECT_EQ (open.isEmpty() ? juce::String() : open[open.size() - 1], line.substring (4)) << line;
                open.removeRange (open.size() - 1, 1);
            }
            else if (line.startsWith ("tell ") && ! line.contains (" to "))   open.add ("tell");
            else if (line.startsWith ("if ") && line.endsWith (" then"))      open.add ("if");
            else if (line.startsWith ("repeat"))                               open.add ("repeat");
            else if (line.startsWith ("on "))                                  open.add (line.substring (3).upToFirstOccurrenceOf ("(", false, false));
            else if (line.startsWith ("try"))                                  ADD_FAILURE() << "error handler";
        }

        EXPECT_TRUE (open.isEmpty()) << open.joinIntoString (", ");

        // Waits given a limit get theirs (10 seconds unless listed above); the others use the handler's fixed 10.
        for (const auto& match : matchesIn (t.source, "waitUntil(Not)?Exists\\(.*, ([0-9]+), (5[0-2][0-9]), \""))
        {
            const auto number = std::stoi (match[3]);
            EXPECT_EQ (std::stoi (match[2]), longWaits.count (number) ? longWaits.at (number) : 10) << number;
        }

        EXPECT_EQ (t.source.contains ("on waitUntilExists(itemToCheck, errorNumberIfTimeout, errorMessageIfTimeout)")
                       && t.source.contains ("startTime) > 10 then error errorMessageIfTimeout number errorNumberIfTimeout"), t.fixedWaitLimit);
        EXPECT_EQ (t.source.contains ("startTime) > 10 then return false"), t.localisedWindowNames);
    }
}
