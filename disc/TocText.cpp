#include "disc/TocText.h"

#include "disc/CdInfo.h"
#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "frame/TrackNames.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kDefaultDiscTitle = "Audio CD";
constexpr const char* kDefaultTrackPrefix = "Track ";

bool IsEmptyOrStartsWith(const char* text, const char* prefix)
{
	return text[0] == '\0' || strncmp(text, prefix, strlen(prefix)) == 0;
}

// CD-Text's disc performer and title as one name: "artist - title".
std::string CdTextDiscName(const CCdTextDecoder& text)
{
	std::string name = text.Artist(0);
	if (text.Artist(0)[0] != '\0' && text.Title(0)[0] != '\0')
		name += " - ";
	name += text.Title(0);
	return name;
}

}   // namespace

void LoadStoredTocText(CToc& toc, CCdInfo& info)
{
	info.Reset();
	const int count = toc.TrackCount();
	int key = 0;
	int minutes = 0;
	int seconds = 0;
	toc.GetCdTracksCdKey(&key);
	toc.GetCdTracksCdKey(&minutes, &seconds);
	info.Init(count, key, minutes, seconds);
	for (int track = 1; track <= count; track++) {
		toc.GetCdTracksTrackKey(track, &minutes, &seconds);
		info.Init(track, minutes, seconds);
	}

	info.Load();
	toc.SetTitle(info.CdText());
	for (int track = 1; track <= count; track++) {
		const char* stored = info.TrackText(track);
		std::string artist;
		std::string title;
		SeparateArtistAndTitle(artist, title, stored);
		// A name of digits and separators only ("1999") splits into
		// nothing: it stays the title.
		if (artist.empty() && title.empty())
			title = stored;
		toc.SetTrackTitle(track, title.c_str());
		toc.SetTrackArtist(track, artist.c_str());
	}
}

void MergeCdText(CToc& toc, const CCdTextDecoder& text)
{
	// Only when CD-Text names the disc at all: an empty name would replace
	// the store's numbered default.
	const std::string discName = CdTextDiscName(text);
	if (!discName.empty() && IsEmptyOrStartsWith(toc.Title(), kDefaultDiscTitle))
		toc.SetTitle(discName.c_str());

	const int count = toc.TrackCount();
	for (int track = 1; track <= count; track++) {
		if (text.Title(track)[0] != '\0' && IsEmptyOrStartsWith(toc.TrackTitle(track), kDefaultTrackPrefix))
			toc.SetTrackTitle(track, text.Title(track));
		if (text.Artist(track)[0] != '\0' && IsEmptyOrStartsWith(toc.TrackArtist(track), kDefaultTrackPrefix))
			toc.SetTrackArtist(track, text.Artist(track));
	}
}

status_t SaveStoredTocText(CToc& toc, CCdInfo& info)
{
	const char* discTitle = toc.Title();
	info.SetCdText(discTitle[0] != '\0' ? discTitle : kDefaultDiscTitle);

	const int count = toc.TrackCount();
	for (int track = 1; track <= count; track++) {
		const std::string artist = toc.TrackArtist(track);
		const std::string title = toc.TrackTitle(track);
		std::string text;
		if (!artist.empty())
			text = artist + " - " + title;
		else if (!title.empty())
			text = title;
		else
			text = kDefaultTrackPrefix + std::to_string(track);
		info.SetTrackText(track, text.c_str());
	}
	return info.Save();
}

std::string CdTextImportQuestion(CToc& toc, const CCdTextDecoder& text)
{
	std::string question = "Do you want to replace the current CD track descriptions with the following data ?\n\n";
	question += "Title: " + CdTextDiscName(text) + "\n";
	const int count = toc.TrackCount();
	for (int track = 1; track <= count; track++) {
		char label[32];
		snprintf(label, sizeof(label), "Track %02d: ", track);
		question += label;
		question += text.Artist(track);
		if (text.Artist(track)[0] != '\0' && text.Title(track)[0] != '\0')
			question += " - ";
		question += text.Title(track);
		question += "\n";
	}
	question += "\n\n";
	return question;
}

void ApplyCdTextImport(CToc& toc, const CCdTextDecoder& text)
{
	toc.SetTitle(CdTextDiscName(text).c_str());
	const int count = toc.TrackCount();
	for (int track = 1; track <= count; track++) {
		if (text.Title(track)[0] != '\0')
			toc.SetTrackTitle(track, text.Title(track));
		if (text.Artist(track)[0] != '\0')
			toc.SetTrackArtist(track, text.Artist(track));
	}
}
