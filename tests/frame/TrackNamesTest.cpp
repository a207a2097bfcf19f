// The artist and title rules of track names.
#include "frame/TrackNames.h"

#include <gtest/gtest.h>

TEST(TrackNames, SeparateArtistAndTitle)
{
	struct Case {
		const char* text;
		const char* artist;
		const char* title;
	} cases[] = {
		{"01 - Artist - Title", "Artist", "Title"},
		{"(Artist) - Title", "Artist", "Title"},
		{"(Artist) ; Title", "Artist", "Title"},
		{"(Art - ist)-Title", "Art - ist", "Title"},     // the parenthesis rules come before " - "
		{"(Artist)-Title", "Artist", "Title"},
		{"(Artist)_Title", "Artist", "Title"},
		{"Artist_Title", "Artist", "Title"},
		{"Artist - Title: Part 2", "Artist", "Title: Part 2"},
		{"A : B - C", "A : B", "C"},                      // list order wins over position
		{"Artist- Title", "Artist", "Title"},
		{"Artist -Title", "Artist", "Title"},
		{"Artist~Title", "Artist", "Title"},
		{"Art:ist;Title", "Art", "ist;Title"},
		{"(Artist) Title", "Artist", "Title"},
		{"Artist  Title", "Artist", "Title"},
		{"Intro", "", "Intro"},
		{"12 - ", "", ""},
		{"07 My_Band - Some__Song", "My Band", "Some Song"},
		// Blanks are trimmed before underscores become blanks.
		{"  07_-_My_Band_-_Some__Song  ", "My Band ", " Some Song"},
		{"Big   Band - Long     Song", "Big Band", "Long Song"},
		{"#3: Me - You", "Me", "You"},
	};
	for (const Case& c : cases) {
		std::string artist = "stale";
		std::string title = "stale";
		SeparateArtistAndTitle(artist, title, c.text);
		EXPECT_EQ(c.artist, artist) << c.text;
		EXPECT_EQ(c.title, title) << c.text;
	}
}

TEST(TrackNames, GetTrackName)
{
	EXPECT_EQ("Title", GetTrackName("", "Title"));
	EXPECT_EQ("A: B", GetTrackName("A", "B"));
	EXPECT_EQ("A", GetTrackName("A", ""));
	EXPECT_EQ("", GetTrackName("", ""));
}
