use framework "Foundation"
use framework "AppKit"
use scripting additions

global WIFI_STRINGS

set WIFI_STRINGS to {"Wi-Fi", "Wi‑Fi", "WLAN", "Wifi", "רשת אלחוטית", "वाई-फ़ाई"}

my openSharingPane()
delay 0.4

tell application "System Preferences" to activate
my waitUntilExists(a reference to current pane of application "System Preferences", 505, "System Preferences > Sharing window did not open in time.")
set W to localized name of current pane of application "System Preferences"

tell application "System Events"
	tell process "System Preferences"
		my waitUntilExists(a reference to table 1 of scroll area 1 of group 1 of window W, 506, "System Preferences > Sharing table did not open in time.")

		-- Opening the pane at Internet Sharing has selected that service's row.
		set internetSharingRow to missing value
		repeat with serviceRow in rows of table 1 of scroll area 1 of group 1 of window W
			if selected of serviceRow is true then
				set internetSharingRow to contents of serviceRow
				exit repeat
			end if
		end repeat
		if internetSharingRow is missing value then error ("Could not find Internet Sharing row in System Preferences > Sharing table because no row was selected. Current language: " & my languageText()) number 507

		set internetSharingBox to checkbox 1 of internetSharingRow
		if value of internetSharingBox is 1 then click internetSharingBox

		click pop up button 1 of group 1 of window W
		click menu item "Sondrevix" of menu 1 of pop up button 1 of group 1 of window W
		delay 0.4
		my setISToShareUsingWifi(table 1 of scroll area 2 of group 1 of window W)

		-- Internet Sharing stays off; the Wi-Fi options sheet stays open for the user.
		click button 1 of group 1 of window W
		my waitUntilExists(a reference to sheet 1 of window W, 509, "System Settings > Sharing > Internet Sharing > Wi-Fi options popup did not open in time.")
		my applyChannelRule(sheet 1 of window W)
	end tell
end tell

return true

on openSharingPane()
	current application's NSWorkspace's sharedWorkspace()'s openURL:(current application's NSURL's URLWithString:"x-apple.systempreferences:com.apple.preferences.sharing?Internet")
end openSharingPane

-- The first of the user's preferred languages, for error messages.
on languageText()
	return "`" & (first word of (do shell script "defaults read NSGlobalDomain AppleLanguages")) & "`"
end languageText

on wifiRowMessage(rowNames)
	set savedDelimiters to AppleScript's text item delimiters
	set AppleScript's text item delimiters to ", "
	set rowNamesText to rowNames as text
	set AppleScript's text item delimiters to savedDelimiters
	return "Could not find Wi-Fi row in System Preferences > Sharing > Internet Sharing in the `To computers using:` table for language " & my languageText() & " with rows: " & rowNamesText
end wifiRowMessage

on waitUntilExists(itemToCheck, errorNumberIfTimeout, errorMessageIfTimeout)
	set startTime to current date
	repeat until exists itemToCheck
		delay 0.1
		if ((current date) - startTime) > 10 then error errorMessageIfTimeout number errorNumberIfTimeout
	end repeat
end waitUntilExists

-- Leaves Wi-Fi as the only connection that the Internet is shared to.
on setISToShareUsingWifi(tableShareToComputersUsing)
	tell application "System Events"
		set tableRows to rows of tableShareToComputersUsing
		set rowNames to {}
		set wifiIndex to 0
		repeat with i from 1 to count of tableRows
			set rowName to value of text field 1 of item i of tableRows
			set end of rowNames to rowName
			if WIFI_STRINGS contains rowName then
				set wifiIndex to i
				exit repeat
			end if
		end repeat
		if wifiIndex is 0 then error (my wifiRowMessage(rowNames)) number 508
		set wifiRow to item wifiIndex of tableRows
		select wifiRow
		if value of checkbox 1 of wifiRow is 0 then click checkbox 1 of wifiRow
		repeat with i from 1 to count of tableRows
			set otherRow to item i of tableRows
			if i is not wifiIndex and value of checkbox 1 of otherRow is 1 then
				select otherRow
				click checkbox 1 of otherRow
			end if
		end repeat
	end tell
end setISToShareUsingWifi

-- Channels 36, 40, 44 and 48 are kept; any other becomes 48.
on applyChannelRule(wifiOptionsSheet)
	tell application "System Events"
		set channelPopUp to pop up button 1 of wifiOptionsSheet
		if {"36", "40", "44", "48"} does not contain (value of channelPopUp) then
			click channelPopUp
			click menu item "48" of menu 1 of channelPopUp
		end if
	end tell
end applyChannelRule
