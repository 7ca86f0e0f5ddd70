use framework "Foundation"
use framework "AppKit"
use scripting additions

global WIFI_STRINGS
global SHARING_STRINGS
global INTERNET_SHARING_STRINGS

set WIFI_STRINGS to {"Wi-Fi", "Wi‑Fi", "WLAN", "Wifi", "רשת אלחוטית", "वाई-फ़ाई"}
set SHARING_STRINGS to {"Sharing", "Compartir", "共享", "共享", "分享", "共有", "Partage", "Teilen", "Общий доступ", "Compartilhamento", "Partilha", "Condivisione", "공유", "Paylaşma", "Delen", "المشاركة", "การแชร์", "Delning", "Deling", "Chia sẻ", "Deling", "Udostępnianie", "Jako", "Berbagi", "שיתוף", "Κοινή χρήση", "Partajare", "Megosztás", "Sdílení", "Compartir", "Zdieľanie", "Поширення", "Dijeljenje", "Perkongsian", "शेयरिंग"}
set INTERNET_SHARING_STRINGS to {"Internet Sharing", "Compartir Internet", "互联网共享", "網際網路共享", "互聯網分享", "インターネット共有", "Partage Internet", "Internetfreigabe", "Общий интернет", "Compartilhar Internet", "Partilha de internet", "Condivisione internet", "인터넷 공유", "İnternet Paylaşma", "Internetdeling", "مشاركة الإنترنت", "การแชร์อินเทอร์เน็ต", "Internetdelning", "Internetdeling", "Chia sẻ internet", "Internettdeling", "Udostępnianie Internetu", "Internet-jako", "Berbagi Internet", "שיתוף החיבור לאינטרנט", "Κοινή χρήση Διαδικτύου", "Partajare internet", "Internetmegosztás", "Sdílení internetu", "Compartir internet", "Zdieľanie internetu", "Інтернет-шлюз", "Internet dijeljenje", "Perkongsian Internet", "इंटरनेट शेयरिंग"}

my openSharingPane()

tell application "System Events"
	tell process "System Settings"
		my waitUntilExists(a reference to window 1, 10, 516, "System Settings window did not open in time,")
		set identified to my waitUntilStringIsAnyOf(a reference to name of window 1, SHARING_STRINGS)

		set internetSharingBox to missing value
		repeat with checkboxName in INTERNET_SHARING_STRINGS
			if exists checkbox (contents of checkboxName) of group 1 of scroll area 1 of group 1 of group 1 of group 2 of splitter group 1 of group 1 of window 1 then
				set internetSharingBox to checkbox (contents of checkboxName) of group 1 of scroll area 1 of group 1 of group 1 of group 2 of splitter group 1 of group 1 of window 1
				exit repeat
			end if
		end repeat
		if internetSharingBox is missing value then
			if identified then error ("Could not find Internet Sharing checkbox for language " & my languageText()) number 517
			error ("Could not find Sharing window or Internet Sharing checkbox for language " & my languageText()) number 518
		end if
		if value of internetSharingBox is 1 then click internetSharingBox

		-- With Internet Sharing off, opening the pane again opens its options sheet.
		my openSharingPane()
		my waitUntilExists(a reference to group 1 of sheet 1 of window 1, 10, 519, "System Settings > Sharing window > Internet Sharing Options sheet did not open in time.")
		set sharingOptions to group 1 of sheet 1 of window 1
		click pop up button 1 of sharingOptions
		click menu item "Sondrevix" of menu 1 of pop up button 1 of sharingOptions
		delay 0.4
		my setISToShareUsingWifi(table 1 of scroll area 1 of sharingOptions)

		-- Internet Sharing stays off; the Wi-Fi options sheet stays open for the user.
		click button 1 of sharingOptions
		my waitUntilExists(a reference to sheet 1 of sheet 1 of window 1, 120, 521, "System Settings > Sharing > Internet Sharing > Wi-Fi options popup did not open in time.")
		my applyChannelRule(sheet 1 of sheet 1 of window 1)
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

on waitUntilStringIsAnyOf(stringRef, stringList)
	set startTime to current date
	repeat until stringList contains (contents of stringRef)
		delay 0.1
		if ((current date) - startTime) > 10 then return false
	end repeat
	return true
end waitUntilStringIsAnyOf

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
		if wifiIndex is 0 then error (my wifiRowMessage(rowNames)) number 520
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
