#include "ui/AboutBox.h"

#include "frame/App.h"
#include "kit/interface/Alert.h"
#include "kit/media/MediaLibraryInfo.h"

#include <QtGlobal>

std::string AboutText()
{
	std::string text = std::string(pszAppName) + " " + pszAppVersion + "\n\n"
		+ "Records audio CDs, reads the tracks of audio CDs into sound files and plays CDs.\n\n";
	text += std::string("Qt ") + qVersion()
		+ ", used under the GNU Lesser General Public License version 3 (https://www.qt.io/licensing/).\n\n";
	text += "FFmpeg (" + MediaLibraryVersions() + "), used under the " + MediaLibraryLicense()
		+ " (https://ffmpeg.org/legal.html).\n";
	return text;
}

void ShowAboutBox()
{
	std::string title = std::string("About ") + pszAppName;
	(new BAlert(title.c_str(), AboutText().c_str(), "OK"))->Go();
}
