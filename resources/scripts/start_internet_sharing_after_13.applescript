use framework "Foundation"
use framework "AppKit"
use scripting additions

global WIFI_STRINGS

set WIFI_STRINGS to {"Wi-Fi", "Wi‑Fi", "WLAN", "Wifi", "רשת אלחוטית", "वाई-फ़ाई"}

-- Opening the pane at Internet Sharing opens its options sheet straight away.
my openSharingPane()

tell application "System Events"
	tell process "System Settings"
		my waitUntilExists(a reference to window 1, 10, 510, "System Settings window did not open in time,")
		my waitUntilExists(a reference to scroll area 1 of group 1 of sheet 1 of window 1, 10, 513, "System Settings > Sharing window > Internet Sharing Options sheet did not open in time.")
		set sharingOptions to scroll area 1 of group 1 of sheet 1 of window 1
		if value of checkbox 1 of group 1 of sharingOptions is 1 then click checkbox 1 of group 1 of sharingOptions

		click pop up button 1 of group 2 of sharingOptions
		click menu item "Sondrevix" of menu 1 of pop up button 1 of group 2 of sharingOptions
		delay 0.5
		-- The system asks for an administrator's password; the user closes that sheet.
		my waitUntilNotExists(a reference to sheet 1 of sheet 1 of window 1, 60, 524, "System Settings > Sharing > Internet Sharing Options > Authentication dialog was not closed by the user in time.")
		delay 0.4
		set wifiOptionsOpening to my setISToShareUsingWifi(outline 1 of scroll area 1 of group 3 of sharingOptions)

		if wifiOptionsOpening then
			my waitUntilExists(a reference to sheet 1 of sheet 1 of window 1, 120, 522, "System Settings > Sharing > Internet Sharing > Wi-Fi options popup did not open in time.")
			my applyChannelRule(sheet 1 of sheet 1 of window 1)
			my waitUntilNotExists(a reference to sheet 1 of sheet 1 of window 1, 120, 523, "System Settings > Sharing > Internet Sharing > Wi-Fi options popup was not closed by the user in time.")
		end if

		if value of checkbox 1 of group 1 of sharingOptions is 0 then click checkbox 1 of group 1 of sharingOptions
		my waitUntilExists(a reference to sheet 1 of sheet 1 of window 1, 10, 515, "System Settings > Sharing window > Internet Sharing Start Dialog did not open in time.")
		click button 2 of sheet 1 of sheet 1 of window 1
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

on waitUntilExists(itemToCheck, secondsToWait, errorNumberIfTimeout, errorMessageIfTimeout)
	set startTime to current date
	repeat until exists itemToCheck
		delay 0.1
		if ((current date) - startTime) > secondsToWait then error errorMessageIfTimeout number errorNumberIfTimeout
	end repeat
end waitUntilExists

on waitUntilNotExists(itemToCheck, secondsToWait, errorNumberIfTimeout, errorMessageIfTimeout)
	set startTime to current date
	repeat while exists itemToCheck
		delay 0.1
		if ((current date) - startTime) > secondsToWait then error errorMessageIfTimeout number errorNumberIfTimeout
	end repeat
end waitUntilNotExists

-- Leaves Wi-Fi as the only connection that the Internet is shared to. True when
-- Wi-Fi was switched on here, which makes the system open the Wi-Fi options sheet.
on setISToShareUsingWifi(tableShareToComputersUsing)
	tell application "System Events"
		set tableRows to rows of tableShareToComputersUsing
		set rowNames to {}
		set wifiIndex to 0
		repeat with i from 1 to count of tableRows
			set rowName to value of static text 1 of group 1 of UI element 1 of item i of tableRows
			set end of rowNames to rowName
			if WIFI_STRINGS contains rowName then
				set wifiIndex to i
				exit repeat
			end if
		end repeat
		if wifiIndex is 0 then error (my wifiRowMessage(rowNames)) number 514
		repeat with i from 1 to count of tableRows
			set otherRow to item i of tableRows
			if i is not wifiIndex and value of checkbox 1 of group 1 of UI element 2 of otherRow is 1 then
				select otherRow
				click checkbox 1 of group 1 of UI element 2 of otherRow
			end if
		end repeat
		set wifiRow to item wifiIndex of tableRows
		select wifiRow
		if value of checkbox 1 of group 1 of UI element 2 of wifiRow is 0 then
			click checkbox 1 of group 1 of UI element 2 of wifiRow
			return true
		end if
		return false
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
