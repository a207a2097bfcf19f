// The CD player's logic against a recorded transport: track menu and display
// texts, play with and without a track, the skip rules, seeking and its
// bounds, and the play thread.
#include "players/CdPlayerView.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "kit/app/MessageSink.h"
#include "kit/support/Message.h"
#include "players/CdAudioTransport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Records every command; the position is what the test sets. PlayAudioTrack
// can be held until the test lets it go.
class CFakeTransport : public CCdAudioTransport {
public:
	CToc toc;
	int32 current = 0, relative = 0, absolute = 0;
	bool paused = false;
	bool holdPlay = false;

	CToc* Toc() override { return &toc; }
	void PlayAudioTrack(int32 track) override
	{
		std::unique_lock<std::mutex> lock(fLock);
		fCommands.push_back("PlayAudioTrack " + std::to_string(track));
		fChanged.notify_all();
		fChanged.wait_for(lock, std::chrono::seconds(10), [&] { return !holdPlay; });
	}
	void PlayAudioPosition(int32 lba) override { _Add("PlayAudioPosition " + std::to_string(lba)); }
	void PauseAudio() override { _Add("PauseAudio"); }
	void ResumeAudio() override { _Add("ResumeAudio"); }
	void StopAudio() override { _Add("StopAudio"); }
	void StartUnit() override { _Add("StartUnit"); }
	void MediumAllowRemoval() override { _Add("MediumAllowRemoval"); }
	void MediumEject() override { _Add("MediumEject"); }
	void MediumLoad() override { _Add("MediumLoad"); }
	void DisableUpdates() override { _Add("DisableUpdates"); }
	void EnableUpdates() override { _Add("EnableUpdates"); }
	int32 CurrentTrack() const override { return current; }
	int32 RelativePosition() const override { return relative; }
	int32 AbsolutePosition() const override { return absolute; }
	bool IsPaused() const override { return paused; }
	void Attach(const BMessenger&) override { _Add("Attach"); }
	void Detach(const BMessenger&) override { _Add("Detach"); }

	void Release()
	{
		std::lock_guard<std::mutex> lock(fLock);
		holdPlay = false;
		fChanged.notify_all();
	}
	bool WaitForCommands(size_t count)
	{
		std::unique_lock<std::mutex> lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(10), [&] { return fCommands.size() >= count; });
	}
	std::vector<std::string> Take()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return std::exchange(fCommands, {});
	}

private:
	void _Add(std::string command)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fCommands.push_back(std::move(command));
		fChanged.notify_all();
	}

	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fCommands;
};

using Commands = std::vector<std::string>;

class CdPlayer : public testing::Test {
protected:
	void SetUp() override
	{
		auto transport = std::make_unique<CFakeTransport>();
		fTransport = transport.get();
		// Five tracks of 3 minutes (the last one 2:30), 2-second pauses.
		fTransport->toc.Lock();
		fTransport->toc.SetTrackCount(5);
		for (int track = 1; track <= 5; track++) {
			int32 size = track == 5 ? 150 * 75 : 180 * 75;
			fTransport->toc.SetTrackLBA(track, (track - 1) * 180 * 75);
			fTransport->toc.SetTrackPauseSize(track, track == 1 ? 0 : 150);
			fTransport->toc.SetTrackSize(track, size + (track == 1 ? 0 : 150));
		}
		fTransport->toc.SetTrackArtist(2, "Ann");
		fTransport->toc.SetTrackTitle(2, "Rain");
		fTransport->toc.SetTrackTitle(3, "Only Title");
		fTransport->toc.Unlock();
		fView = std::make_unique<CCdPlayerView>(std::move(transport), fSink->Messenger());
		fView->SetStartUnitPause(0);
	}

	void Send(uint32 what, const char* name = nullptr, int32 value = 0)
	{
		BMessage message(what);
		if (name != nullptr)
			message.AddInt32(name, value);
		EXPECT_TRUE(fView->MessageReceived(&message));
	}
	// The drive reports this state; the view copies it.
	void Report(int32 track, int32 relative, bool paused = false)
	{
		fTransport->current = track;
		fTransport->relative = relative;
		fTransport->absolute = relative + 150 + (track > 0 ? track - 1 : 0) * 180 * 75 + 150;
		fTransport->paused = paused;
		Send(M_NOTIFY_CD_UPDATE);
	}

	std::shared_ptr<CMessageSink> fSink = std::make_shared<CMessageSink>();
	CFakeTransport* fTransport = nullptr;
	std::unique_ptr<CCdPlayerView> fView;
};

TEST(CdPlayerMenu, ItemTextJoinsArtistAndTitleOnlyWhenBothAreThere)
{
	EXPECT_EQ(CdPlayerMenuItemText(2, "Ann", "Rain", 185 * 75 + 74), "02)    Ann: Rain    (03:05)");
	EXPECT_EQ(CdPlayerMenuItemText(3, "", "Only Title", 59 * 75), "03)    Only Title    (00:59)");
	EXPECT_EQ(CdPlayerMenuItemText(12, "Solo", "", 600 * 75), "12)    Solo    (10:00)");
	EXPECT_EQ(CdPlayerMenuItemText(1, "", "", 0), "01)        (00:00)");
}

TEST_F(CdPlayer, DiscArrivalFillsTheMenuAndTheDisplayFollowsTheDrive)
{
	Send(M_NOTIFY_CD_REMOVED);
	EXPECT_EQ(fView->Display().fieldText, "No CD found");
	EXPECT_EQ(fView->Display().ejectLabel, "Load");

	Send(M_NOTIFY_CD_INSERTED);
	const CdPlayerDisplay& display = fView->Display();
	ASSERT_EQ(display.menuItems.size(), 5u);
	EXPECT_EQ(display.menuItems[0], "01)        (03:00)");
	EXPECT_EQ(display.menuItems[1], "02)    Ann: Rain    (03:00)");
	EXPECT_EQ(display.menuItems[2], "03)    Only Title    (03:00)");
	EXPECT_EQ(display.menuItems[4], "05)        (02:30)");
	EXPECT_EQ(display.fieldText, "Select a track");
	EXPECT_EQ(display.ejectLabel, "Eject");
	EXPECT_EQ(display.playLabel, "Play");
	EXPECT_EQ(display.boxLabel, "CD");

	// Playing track 2, 65 s in: marked, position shown, "Pause".
	Report(2, 65 * 75);
	EXPECT_EQ(display.markedItem, 1);
	EXPECT_EQ(display.fieldText, "02)    Ann: Rain    (03:00)");
	EXPECT_EQ(display.positionText, "Position: 01:05");
	EXPECT_EQ(display.playLabel, "Pause");
	Report(2, 65 * 75, true);
	EXPECT_EQ(display.playLabel, "Resume");

	// Renaming the playing track rebuilds its item and keeps the mark; the
	// disc title goes into the box.
	fTransport->toc.Lock();
	fTransport->toc.SetTrackTitle(2, "Snow");
	fTransport->toc.SetTitle("Winter");
	fTransport->toc.Unlock();
	Send(M_NOTIFY_TOC_UPDATE, "track", 2);
	Send(M_NOTIFY_TOC_UPDATE, "track", 0);
	EXPECT_EQ(display.menuItems[1], "02)    Ann: Snow    (03:00)");
	EXPECT_EQ(display.markedItem, 1);
	EXPECT_EQ(display.fieldText, "02)    Ann: Snow    (03:00)");
	EXPECT_EQ(display.boxLabel, "Winter");

	// The window gets every state as a message.
	BMessage last;
	ASSERT_TRUE(fSink->LastMessage(CD_PLAYER_DISPLAY, &last));
	EXPECT_STREQ(last.GetString("box", ""), "Winter");
	EXPECT_STREQ(last.GetString("play", ""), "Resume");
	EXPECT_EQ(last.GetInt32("marked", -5), 1);
	std::string item;
	EXPECT_EQ(last.FindString("item", 4, &item), B_OK);
	EXPECT_EQ(item, "05)        (02:30)");

	Send(M_NOTIFY_CD_REMOVED);
	EXPECT_TRUE(display.menuItems.empty());
	EXPECT_EQ(display.fieldText, "No CD found");
	EXPECT_EQ(fView->SelectedTrack(), 0);
}

TEST_F(CdPlayer, PlayAndTheSkipButtonsFollowTheThreeSecondRule)
{
	Send(M_NOTIFY_CD_INSERTED);
	Report(0, 0);
	// Nothing selected, drive stopped: track 1, through the play thread.
	Send(CD_PLAYER_PLAY);
	EXPECT_EQ(fView->Display().fieldText, "Initializing - please wait");
	ASSERT_TRUE(fView->WaitForPlayThread(10000000));
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 1"}));

	// 2 s into track 5: track 4; 10 s in: track 5 again.
	Report(5, 2 * 75);
	Send(CD_PLAYER_SKIP_BACKWARD);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 4"}));
	Report(5, 10 * 75);
	Send(CD_PLAYER_SKIP_BACKWARD);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 5"}));
	// Exactly 3 s in counts as played: restart.
	Report(5, 225);
	Send(CD_PLAYER_SKIP_BACKWARD);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 5"}));
	// Track 1 has nothing before it.
	Report(1, 30);
	Send(CD_PLAYER_SKIP_BACKWARD);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 1"}));

	// Forward from 4 plays 5; on the last track nothing happens.
	Report(4, 500);
	Send(CD_PLAYER_SKIP_FORWARD);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 5"}));
	Report(5, 500);
	Send(CD_PLAYER_SKIP_FORWARD);
	EXPECT_TRUE(fTransport->Take().empty());
	EXPECT_EQ(fView->SelectedTrack(), 5);

	// Paused: skipping only selects; play then plays the selection and resumes.
	Report(3, 900);
	Report(3, 900, true);
	Send(CD_PLAYER_SKIP_FORWARD);
	EXPECT_TRUE(fTransport->Take().empty());
	EXPECT_EQ(fView->SelectedTrack(), 4);
	EXPECT_EQ(fView->Display().positionText, "Position: 00:00");
	Send(CD_PLAYER_PLAY);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 4", "ResumeAudio"}));
	// Paused in the selected track: resume only.
	Report(4, 900, true);
	Send(CD_PLAYER_PLAY);
	EXPECT_EQ(fTransport->Take(), Commands({"ResumeAudio"}));
	Report(4, 900);
	Send(CD_PLAYER_PLAY);
	EXPECT_EQ(fTransport->Take(), Commands({"PauseAudio"}));

	// Menu and drive page requests; numbers off the disc are refused.
	Send(CD_PLAYER_MENU_ITEM, "index", 2);
	Send(CD_PLAYER_PLAY_TRACK, "track", 6);
	Send(CD_PLAYER_PLAY_TRACK, "track", 0);
	EXPECT_EQ(fTransport->Take(), Commands({"PlayAudioTrack 3"}));

	Send(CD_PLAYER_STOP);
	Send(CD_PLAYER_EJECT);
	EXPECT_EQ(fTransport->Take(), Commands({"StopAudio", "MediumAllowRemoval", "MediumEject"}));
	Send(M_NOTIFY_CD_REMOVED);
	Send(CD_PLAYER_EJECT);
	Send(CD_PLAYER_PLAY_TRACK, "track", 1);
	EXPECT_EQ(fTransport->Take(), Commands({"MediumLoad"}));
}

TEST_F(CdPlayer, SeekStepGrowsToItsLimitAndStopsAtTheTrackEnds)
{
	Send(M_NOTIFY_CD_INSERTED);
	Report(2, 170 * 75);   // 10 s before the end of track 2 (3:00)
	Send(CD_PLAYER_SEEK_FORWARD, "btn_state", 0);
	EXPECT_EQ(fTransport->Take(), Commands({"DisableUpdates", "PauseAudio"}));
	EXPECT_FLOAT_EQ(CCdPlayerView::SeekStep(true), 10.0f);

	Send(CD_PLAYER_SEEK_FORWARD, "btn_state", 1);
	EXPECT_EQ(fView->Display().positionText, "Position: 02:50");   // 10 frames on
	for (int repeat = 2; repeat <= 62; repeat++)
		Send(CD_PLAYER_SEEK_FORWARD, "btn_state", 1);
	EXPECT_NEAR(CCdPlayerView::SeekStep(true), 205.9f, 0.05f);
	for (int repeat = 0; repeat < 40; repeat++)
		Send(CD_PLAYER_SEEK_FORWARD, "btn_state", 1);
	EXPECT_NEAR(CCdPlayerView::SeekStep(true), 205.9f, 0.05f);
	// Held at the end of track 2, not in track 3.
	EXPECT_EQ(fView->Display().positionText, "Position: 03:00");
	EXPECT_EQ(fView->Display().markedItem, 1);
	Send(CD_PLAYER_SEEK_FORWARD, "btn_state", 2);
	int32 endLba = 13500 + 150 + 180 * 75;   // track 2's own start + its own length
	EXPECT_EQ(fTransport->Take(),
		Commands({"EnableUpdates", "PlayAudioPosition " + std::to_string(endLba), "ResumeAudio"}));

	// Backward from 1 s in: the start of the track, and no further.
	Report(2, 75);
	Send(CD_PLAYER_SEEK_BACKWARD, "btn_state", 0);
	for (int repeat = 0; repeat < 20; repeat++)
		Send(CD_PLAYER_SEEK_BACKWARD, "btn_state", 1);
	EXPECT_EQ(fView->Display().positionText, "Position: 00:00");
	Send(CD_PLAYER_SEEK_BACKWARD, "btn_state", 3);
	EXPECT_EQ(fTransport->Take(), Commands({"DisableUpdates", "PauseAudio", "EnableUpdates", "ResumeAudio"}));

	// Stopped: seeking does nothing.
	Report(0, 0);
	Send(CD_PLAYER_SEEK_BACKWARD, "btn_state", 0);
	EXPECT_TRUE(fTransport->Take().empty());
}

TEST_F(CdPlayer, PlayRequestsWhileThePlayThreadRunsAreIgnored)
{
	Send(M_NOTIFY_CD_INSERTED);
	Report(0, 0);
	int32 recording = 1;
	fView->SetRecordingProbe([&] { return recording != 0; });
	fTransport->holdPlay = true;
	Send(CD_PLAYER_PLAY_TRACK, "track", 3);
	ASSERT_TRUE(fTransport->WaitForCommands(5));
	EXPECT_TRUE(fView->IsPlayThreadRunning());
	Send(CD_PLAYER_PLAY_TRACK, "track", 4);
	Send(CD_PLAYER_MENU_ITEM, "index", 0);
	Send(CD_PLAYER_PLAY);
	// Selection 0 while the thread runs: the notice stays.
	Send(M_NOTIFY_CD_UPDATE);
	EXPECT_EQ(fView->Display().fieldText, "Initializing - please wait");
	fTransport->Release();
	ASSERT_TRUE(fView->WaitForPlayThread(10000000));
	EXPECT_EQ(fTransport->Take(),
		Commands({"StartUnit", "StartUnit", "StartUnit", "StartUnit", "PlayAudioTrack 3"}));
	Send(M_NOTIFY_CD_UPDATE);
	EXPECT_EQ(fView->Display().fieldText, "Select a track");
}

}   // namespace
