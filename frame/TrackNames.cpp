// The artist and title rules of track names.
#include "frame/TrackNames.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

// Position of the first string of `list` (in list order) that occurs in
// `text`, and its length; false when none occurs.
bool FindFirstOf(const std::string& text, std::initializer_list<const char*> list, size_t& position, size_t& length)
{
	for (const char* candidate : list) {
		size_t found = text.find(candidate);
		if (found != std::string::npos) {
			position = found;
			length = std::strlen(candidate);
			return true;
		}
	}
	return false;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
	size_t position = 0;
	while ((position = text.find(from, position)) != std::string::npos) {
		text.replace(position, from.size(), to);
		position += to.size();
	}
}

void TrimTrailingBlanks(std::string& text)
{
	size_t end = text.find_last_not_of(' ');
	text.erase(end == std::string::npos ? 0 : end + 1);
}

void TrimLeadingBlanks(std::string& text)
{
	text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

void TidyBlanks(std::string& text)
{
	ReplaceAll(text, "    ", " ");
	ReplaceAll(text, "   ", " ");
	ReplaceAll(text, "  ", " ");
}

}   // namespace

void SeparateArtistAndTitle(std::string& artist, std::string& title, std::string_view input)
{
	static constexpr std::string_view kSkipped = " 0123456789_-,.:;#~";
	size_t start = input.find_first_not_of(kSkipped);
	std::string text(start == std::string_view::npos ? std::string_view() : input.substr(start));

	artist.clear();
	title.clear();
	size_t position = 0;
	size_t length = 0;
	const bool parenthesised = !text.empty() && text[0] == '(';
	if (parenthesised && FindFirstOf(text, {") - ", ") : ", ") ; ", ") ~ ", ") _ "}, position, length)) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + length);
	} else if (parenthesised && FindFirstOf(text, {")-", "):", ");", ")~", ")_"}, position, length)) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + length);
	} else if (FindFirstOf(text, {" - ", " : ", " ; ", " ~ ", " _ "}, position, length)
		|| FindFirstOf(text, {"- ", ": ", "; ", "~ ", "_ ", " -", " :", " ;", " ~", " _"}, position, length)
		|| FindFirstOf(text, {"-", ":", ";", "~", "_"}, position, length)) {
		artist = text.substr(0, position);
		title = text.substr(position + length);
	} else if (parenthesised && (position = text.find(')')) != std::string::npos) {
		artist = text.substr(1, position - 1);
		title = text.substr(position + 1);
	} else if ((position = text.find("  ")) != std::string::npos) {
		artist = text.substr(0, position);
		title = text.substr(position + 2);
	} else {
		title = text;
	}

	TrimTrailingBlanks(artist);
	TrimTrailingBlanks(title);
	TrimLeadingBlanks(artist);
	TrimLeadingBlanks(title);

	std::replace(title.begin(), title.end(), '_', ' ');
	std::replace(artist.begin(), artist.end(), '_', ' ');
	TidyBlanks(title);
	TidyBlanks(artist);
}

std::string GetTrackName(std::string_view first, std::string_view second)
{
	std::string name(first);
	if (!first.empty() && !second.empty())
		name += ": ";
	name += second;
	return name;
}
