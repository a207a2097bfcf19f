#include "players/CdromView.h"

#include "devices/Device.h"
#include "disc/CdTextDecoder.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "frame/Diagnostics.h"
#include "kit/interface/Alert.h"
#include "kit/storage/Directory.h"
#include "kit/storage/Entry.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

const char* const kCdTrackDragFileType = "application/octet-stream";
const char* const kCdTrackDragDescription = "Audio CD Track";

namespace {

constexpr int32 kFramesPerSecond = 75;
constexpr int32 kCdTextBufferSize = 36720;
const char* const kAlertTitle = "Tarnwick";

class CTocLocker {
public:
	explicit CTocLocker(CToc* toc) : fToc(toc) { fToc->Lock(); }
	~CTocLocker() { fToc->Unlock(); }
	CTocLocker(const CTocLocker&) = delete;
	CTocLocker& operator=(const CTocLocker&) = delete;

private:
	CToc* fToc;
};

std::string Format2(const char* format, int a, int b = 0)
{
	char text[32];
	snprintf(text, sizeof(text), format, a, b);
	return text;
}

// Internal failures are reported with the page's name as their source.
#define Assert(condition, expression)                          \
	do {                                                       \
		if (!(condition))                                      \
			DebugAssert("CdromView", __LINE__, expression);    \
	} while (0)

}   // namespace

std::string CdTextEntry(const std::string& artist, const std::string& title)
{
	if (!artist.empty() && !title.empty())
		return artist + " - " + title;
	return artist.empty() ? title : artist;
}

std::string CdTextQuestion(const CCdTextDecoder& decoder, int32 trackCount)
{
	std::string text = "Do you want to replace the current CD track descriptions with the following data ?\n\n";
	text += "Title: " + CdTextEntry(decoder.Artist(0), decoder.Title(0)) + "\n";
	for (int32 track = 1; track <= std::min(trackCount, CCdTextDecoder::kMaxTrack); track++) {
		text += "Track ";
		if (track <= 9)
			text += "0";
		text += std::to_string(track) + ": " + CdTextEntry(decoder.Artist(track), decoder.Title(track)) + "\n";
	}
	return text;
}

CCdromView::CCdromView(CDevice* device, CdromViewHooks hooks)
	:
	fDevice(device),
	fHooks(std::move(hooks))
{
	Assert(fDevice != nullptr, "pDevice != 0");
}

CCdromView::~CCdromView()
{
	DetachedFromWindow();
}

void CCdromView::AttachedToWindow(const BMessenger& self)
{
	if (fAttached)
		return;
	fSelf = self;
	fAttached = true;
	fDevice->Attach(fSelf, true, true, false, true);
}

void CCdromView::DetachedFromWindow()
{
	if (!fAttached)
		return;
	fDevice->Detach(fSelf);
	fAttached = false;
}

bool CCdromView::MessageReceived(const BMessage* message)
{
	switch (message->what) {
		case M_NOTIFY_CD_INSERTED:
			Fill();
			return true;
		case M_NOTIFY_CD_REMOVED:
			Clear();
			return true;
		case M_NOTIFY_TOC_UPDATE: {
			int32 track = 0;
			if (message->FindInt32("track", &track) == B_OK && track > 0)
				UpdateRow(track);
			return true;
		}
		default:
			return false;
	}
}

CdTrackRow CCdromView::_Row(int32 track) const
{
	CToc* toc = fDevice->GetToc();
	int32 seconds = toc->TrackSize(track) / kFramesPerSecond;
	return CdTrackRow {Format2("%02i", track), toc->TrackArtist(track), toc->TrackTitle(track),
		Format2("%02i:%02i", seconds / 60, seconds % 60)};
}

void CCdromView::Fill()
{
	fRows.clear();
	fSelection.clear();
	CToc* toc = fDevice->GetToc();
	CTocLocker lock(toc);
	int32 count = toc->TrackCount();
	for (int32 track = 1; track <= count; track++)
		fRows.push_back(_Row(track));
}

void CCdromView::Clear()
{
	fRows.clear();
	fSelection.clear();
}

void CCdromView::UpdateRow(int32 track)
{
	if (track < 1 || track > int32(fRows.size()))
		return;
	CToc* toc = fDevice->GetToc();
	CTocLocker lock(toc);
	fRows[size_t(track - 1)] = _Row(track);
}

void CCdromView::SetSelection(const std::vector<int32>& rows)
{
	fSelection.clear();
	for (int32 row : rows) {
		if (row >= 0 && row < int32(fRows.size())
			&& std::find(fSelection.begin(), fSelection.end(), row) == fSelection.end())
			fSelection.push_back(row);
	}
}

std::vector<int32> CCdromView::_SelectedTracks() const
{
	std::vector<int32> tracks;
	for (int32 row : fSelection)
		tracks.push_back(row + 1);
	return tracks;
}

std::vector<CdMenuItem> CCdromView::ContextMenu() const
{
	bool one = fSelection.size() == 1;
	std::vector<CdMenuItem> menu;
	menu.push_back({"Play", 0, CDROM_MENU_PLAY});
	menu.push_back({"Stop", 0, CDROM_MENU_STOP});
	menu.push_back({"Get Info", 'I', CDROM_MENU_GET_INFO});
	menu.push_back({});
	menu.push_back({"Edit Artist", 'A', CDROM_MENU_EDIT_ARTIST});
	menu.push_back({"Edit Title", 'T', CDROM_MENU_EDIT_TITLE});
	menu.push_back({"Edit Properties", 'E', CDROM_MENU_EDIT});
	menu.push_back({one ? "Swap Artist & Title" : "Swap Artists & Titles", 'B', CDROM_MENU_SWAP});
	menu.push_back({});
	menu.push_back({"Read CD-TEXT", 'R', CDROM_MENU_READ_CD_TEXT});
	menu.push_back({});
	menu.push_back({one ? "Add A Copy" : "Add Copys", 'C', CDROM_MENU_ADD_COPY});
	menu.push_back({});
	CdMenuItem copyTo {one ? "Add A Copy To" : "Add Copys To", 0, 0};
	if (fHooks.roster != nullptr && fHooks.roster->Lock()) {
		int32 index = 0;
		while (CProject* project = fHooks.roster->GetNextProjectAt(&index)) {
			CdMenuItem item {project->Name(), 0, CDROM_MENU_ADD_COPY_TO};
			item.project = project;
			copyTo.submenu.push_back(item);
		}
		fHooks.roster->Unlock();
	}
	menu.push_back(copyTo);
	menu.push_back({});
	menu.push_back({"Eject", 0, CDROM_MENU_EJECT});
	return menu;
}

void CCdromView::Play(int32 row)
{
	BMessenger player = fHooks.showPlayer ? fHooks.showPlayer(fDevice) : BMessenger();
	if (row < 0 && !fSelection.empty())
		row = fSelection.front();
	if (row < 0 || !player.IsValid())
		return;
	BMessage message(CDROM_PLAY_TRACK);
	message.AddInt32("track", row + 1);
	player.SendMessage(&message);
}

void CCdromView::Stop()
{
	CDriver* driver = fDevice->GetDriver();
	if (driver != nullptr && driver->StopAudio != nullptr)
		driver->StopAudio(fDevice, nullptr);
}

void CCdromView::Edit()
{
	BMessenger editor = fHooks.showEditor ? fHooks.showEditor(fDevice) : BMessenger();
	if (fSelection.empty() || !editor.IsValid())
		return;
	BMessage message(CDROM_EDIT_TRACK);
	message.AddInt32("track", fSelection.front() + 1);
	editor.SendMessage(&message);
}

void CCdromView::Eject()
{
	CDriver* driver = fDevice->GetDriver();
	if (driver == nullptr)
		return;
	if (driver->MediumAllowRemoval != nullptr)
		driver->MediumAllowRemoval(fDevice, nullptr);
	if (driver->MediumEject != nullptr)
		driver->MediumEject(fDevice, nullptr);
}

void CCdromView::_NotifyTocUpdates(const std::vector<int32>& tracks)
{
	for (int32 track : tracks)
		fDevice->PostTocUpdate(track);
}

void CCdromView::SetArtist(const char* artist)
{
	std::vector<int32> tracks = _SelectedTracks();
	{
		CToc* toc = fDevice->GetToc();
		CTocLocker lock(toc);
		for (int32 track : tracks) {
			toc->SetTrackArtist(track, artist);
			fRows[size_t(track - 1)] = _Row(track);
		}
	}
	_NotifyTocUpdates(tracks);
}

void CCdromView::SetTitle(const char* title)
{
	std::vector<int32> tracks = _SelectedTracks();
	{
		CToc* toc = fDevice->GetToc();
		CTocLocker lock(toc);
		for (int32 track : tracks) {
			toc->SetTrackTitle(track, title);
			fRows[size_t(track - 1)] = _Row(track);
		}
	}
	_NotifyTocUpdates(tracks);
}

void CCdromView::SwapArtistAndTitle()
{
	std::vector<int32> tracks = _SelectedTracks();
	{
		CToc* toc = fDevice->GetToc();
		CTocLocker lock(toc);
		for (int32 track : tracks) {
			std::string artist = toc->TrackArtist(track);
			std::string title = toc->TrackTitle(track);
			toc->SetTrackArtist(track, title.c_str());
			toc->SetTrackTitle(track, artist.c_str());
			fRows[size_t(track - 1)] = _Row(track);
		}
	}
	_NotifyTocUpdates(tracks);
}

bool CCdromView::ReadCdText()
{
	CDriver* driver = fDevice->GetDriver();
	std::vector<uint8> buffer(kCdTextBufferSize);
	if (driver == nullptr || driver->ReadCdText == nullptr
		|| !driver->ReadCdText(fDevice, buffer.data(), kCdTextBufferSize, nullptr)) {
		(new BAlert(kAlertTitle,
			 "Couldn't read CD-TEXT (command failed).\n\nPerhaps this CD-ROM doesn't\nsupport reading CD-TEXT.\n",
			 "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))
			->Go();
		return false;
	}
	CCdTextDecoder decoder;
	if (!decoder.Init(buffer.data(), kCdTextBufferSize)) {
		(new BAlert(kAlertTitle, "Couldn't decode CD-TEXT.\n\nPerhaps this CD doesn't contain CD-TEXT.\n", "OK",
			 nullptr, nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))
			->Go();
		return false;
	}
	std::string question;
	{
		CToc* toc = fDevice->GetToc();
		CTocLocker lock(toc);
		question = CdTextQuestion(decoder, toc->TrackCount());
	}
	if ((new BAlert(kAlertTitle, question.c_str(), "No", "Yes", nullptr, B_WIDTH_AS_USUAL, B_IDEA_ALERT))->Go() != 1)
		return false;
	ApplyCdText(decoder);
	return true;
}

void CCdromView::ApplyCdText(const CCdTextDecoder& decoder)
{
	std::vector<int32> changed;
	{
		CToc* toc = fDevice->GetToc();
		CTocLocker lock(toc);
		toc->SetTitle(CdTextEntry(decoder.Artist(0), decoder.Title(0)).c_str());
		int32 count = std::min(toc->TrackCount(), CCdTextDecoder::kMaxTrack);
		for (int32 track = 1; track <= count; track++) {
			std::string title = decoder.Title(track);
			std::string artist = decoder.Artist(track);
			if (title.empty() && artist.empty())
				continue;
			toc->SetTrackTitle(track, title.c_str());
			toc->SetTrackArtist(track, artist.c_str());
			if (track <= int32(fRows.size()))
				fRows[size_t(track - 1)] = _Row(track);
			changed.push_back(track);
		}
	}
	fDevice->PostTocUpdate(0);
	_NotifyTocUpdates(changed);
}

void CCdromView::AddCopy()
{
	if (fSelection.empty()) {
		if (fHooks.showExtraction)
			fHooks.showExtraction(fDevice);
		return;
	}
	CProject* project = fHooks.activeProject ? fHooks.activeProject() : nullptr;
	AddCopyTo(project);
}

status_t CCdromView::AddCopyTo(CProject* project)
{
	bool valid = false;
	std::string folder;
	if (fHooks.roster != nullptr && project != nullptr && fHooks.roster->Lock()) {
		valid = fHooks.roster->IsProjectValid(project);
		fHooks.roster->Unlock();
	}
	if (!valid) {
		(new BAlert(kAlertTitle, "Destination project does not exist, has been removed or is no longer valid.",
			 "OK", nullptr, nullptr, B_WIDTH_AS_USUAL, B_WARNING_ALERT))
			->Go();
		return B_BAD_VALUE;
	}
	if (project->Lock()) {
		folder = project->ProjectFolder();
		project->Unlock();
	}
	BEntry entry(folder.c_str());
	entry_ref ref;
	status_t status = entry.GetRef(&ref);
	Assert(status == B_OK && entry.IsDirectory(), "project folder opened");
	if (status != B_OK)
		return status;
	return _PostCopyRequest(ref);
}

BMessage CCdromView::CopyRequest(const entry_ref& folder) const
{
	BMessage request(CDROM_COPY_TRACKS);
	request.AddRef("dir", &folder);
	CToc* toc = fDevice->GetToc();
	CTocLocker lock(toc);
	for (int32 row : fSelection) {
		int32 track = row + 1;
		request.AddInt32("track", track);
		request.AddString("artist", toc->TrackArtist(track));
		request.AddString("title", toc->TrackTitle(track));
	}
	return request;
}

status_t CCdromView::_PostCopyRequest(const entry_ref& folder)
{
	BMessenger extraction = fHooks.showExtraction ? fHooks.showExtraction(fDevice) : BMessenger();
	if (!extraction.IsValid())
		return B_BAD_PORT_ID;
	BMessage request = CopyRequest(folder);
	return extraction.SendMessage(&request);
}

BMessage CCdromView::DragMessage(BPoint point, bool primaryButton, bool control) const
{
	BMessage drag(CDROM_DRAG_DATA);
	drag.AddBool("don't_create_file", true);
	drag.AddString("be:types", kCdTrackDragFileType);
	drag.AddString("be:clip_name", "   ");
	drag.AddInt32("be:actions", int32(CDROM_DRAG_ACTION_COPY));
	drag.AddString("be:filetypes", kCdTrackDragFileType);
	drag.AddString("be:type_descriptions", kCdTrackDragDescription);
	drag.AddPoint("click_pt", point);
	// The primary button with Control counts as the secondary one.
	int32 buttons = primaryButton ? (control ? 2 : 1) : 2;
	drag.AddInt32("buttons", buttons);
	for (int32 row : fSelection)
		drag.AddInt32("track", row + 1);
	return drag;
}

status_t CCdromView::DragReply(const BMessage* reply)
{
	entry_ref directory;
	if (reply->FindRef("directory", &directory) != B_OK) {
		Assert(false, "reply has \"directory\"");
		return B_BAD_VALUE;
	}
	std::string placeholder;
	if (reply->FindString("name", &placeholder) == B_OK && !placeholder.empty()
		&& placeholder.find('/') == std::string::npos) {
		std::error_code ignored;
		std::filesystem::remove(std::filesystem::path(directory.Path()) / placeholder, ignored);
	}
	BEntry entry(directory.Path().c_str());
	Assert(entry.Exists() && entry.IsDirectory(), "target folder opened");
	if (!entry.Exists())
		return B_ENTRY_NOT_FOUND;
	return _PostCopyRequest(directory);
}

void CCdromView::SetDiscIds(const std::string& cddb, const std::string& musicBrainz)
{
	fCddbId = cddb;
	fMusicBrainzId = musicBrainz;
}

std::string CCdromView::MusicBrainzUrl() const
{
	if (fMusicBrainzId.empty())
		return "";
	return "https://musicbrainz.org/cdtoc/" + fMusicBrainzId;
}
