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
	// The store numbers a disc's tracks from 1 in their order; the table
	// keeps the disc's own numbers.
	const int count = toc.TrackCount();
	const int first = toc.FirstTrack();
	int key = 0;
	int minutes = 0;
	int seconds = 0;
	toc.GetCdTracksCdKey(&key);
	toc.GetCdTracksCdKey(&minutes, &seconds);
	info.Init(count, key, minutes, seconds);
	for (int entry = 1; entry <= count; entry++) {
		toc.GetCdTracksTrackKey(first + entry - 1, &minutes, &seconds);
		info.Init(entry, minutes, seconds);
	}

	info.Load();
	toc.SetTitle(info.CdText());
	for (int entry = 1; entry <= count; entry++) {
		const int track = first + entry - 1;
		const char* stored = info.TrackText(entry);
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

	for (int track = toc.FirstTrack(); track <= toc.LastTrack(); track++) {
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

	const int first = toc.FirstTrack();
	for (int track = first; track <= toc.LastTrack(); track++) {
		const std::string artist = toc.TrackArtist(track);
		const std::string title = toc.TrackTitle(track);
		std::string text;
		if (!artist.empty())
			text = artist + " - " + title;
		else if (!title.empty())
			text = title;
		else
			text = kDefaultTrackPrefix + std::to_string(track);
		info.SetTrackText(track - first + 1, text.c_str());
	}
	return info.Save();
}

std::string CdTextImportQuestion(CToc& toc, const CCdTextDecoder& text)
{
	std::string question = "Do you want to replace the current CD track descriptions with the following data ?\n\n";
	question += "Title: " + CdTextDiscName(text) + "\n";
	for (int track = toc.FirstTrack(); track <= toc.LastTrack(); track++) {
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
	for (int track = toc.FirstTrack(); track <= toc.LastTrack(); track++) {
		if (text.Title(track)[0] != '\0')
			toc.SetTrackTitle(track, text.Title(track));
		if (text.Artist(track)[0] != '\0')
			toc.SetTrackArtist(track, text.Artist(track));
	}
}
