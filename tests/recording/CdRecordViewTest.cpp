// The record set-up's logic against the fake recorder of the engine tests:
// the menus and their enabled rules, the medium states the poll finds, the
// project status texts, the start checks and their alerts in order, the
// hand-over of the run, and the verification the status view adds after a
// write.
#include "RecordEngineFixture.h"

#include "frame/Preference.h"
#include "kit/interface/Alert.h"
#include "projects/ProjectRoster.h"
#include "recording/CdRecordView.h"
#include "recording/CdTextWriter.h"

using namespace recordtest;

namespace {

// The medium the fake recorder reports, read by the driver slots below.
struct FAKE_MEDIUM {
	bool present = false;
	SCSI_DISC_INFORMATION info {};
	int32 atipReads = 0;
};
FAKE_MEDIUM gMedium;

const SPEED_INFO kCdrSpeeds[] = {{4, 4.0f, nullptr, nullptr}, {8, 8.0f, nullptr, nullptr}, {0, 0.0f, nullptr, nullptr}};
const SPEED_INFO kCdrwSpeeds[] = {{2, 2.0f, nullptr, nullptr}, {3, 4.0f, nullptr, nullptr}, {0, 0.0f, nullptr, nullptr}};

// An empty (status 0), incomplete (1) or complete (2) disc whose last
// possible lead-out starts at minute:second.frame.
void InsertMedium(int status, bool erasable, uint8 minute, uint8 second, uint8 frame)
{
	gMedium.present = true;
	memset(&gMedium.info, 0, sizeof(gMedium.info));
	gMedium.info.DiscStatus = uint8(status);
	gMedium.info.Erasable = erasable ? 1 : 0;
	gMedium.info.LastPossibleStartTimeOfLeadout[0] = minute;
	gMedium.info.LastPossibleStartTimeOfLeadout[1] = second;
	gMedium.info.LastPossibleStartTimeOfLeadout[2] = frame;
}

// Later set-ups of this process start without a remembered CD-Text choice.
void ForgetCdTextChoice()
{
	CPreference settings(kRecordSetupSettings);
	settings.Load();
	settings.RemoveName(kCdTextSetting);
	settings.Save();
}

std::vector<std::string> Labels(const SETUP_MENU& menu)
{
	std::vector<std::string> labels;
	for (const SETUP_MENU_ITEM& item : menu.items)
		labels.push_back(item.label + (item.marked ? " *" : "") + (item.enabled ? "" : " -"));
	return labels;
}

class AlertScope {
public:
	AlertScope() : fPrevious(SetAlertHandler(&fAlerts)) {}
	~AlertScope() { SetAlertHandler(fPrevious); }
	CScriptedAlertHandler& Alerts() { return fAlerts; }
	// Titles and the first line of every alert, in order.
	std::vector<std::string> Shown()
	{
		std::vector<std::string> shown;
		for (const AlertRequest& request : fAlerts.Shown())
			shown.push_back(request.title == "debug alert" ? request.text : request.title);
		return shown;
	}

private:
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious;
};

}   // namespace

class RecordSetup : public RecordEngine {
protected:
	void SetUp() override
	{
		RecordEngine::SetUp();
		gMedium = FAKE_MEDIUM();
		fSetupSink = std::make_shared<CMessageSink>();
	}
	void TearDown() override
	{
		fSetup.reset();
		// A handed-over run that no status window took.
		while (std::unique_ptr<BMessage> handOver = fSetupSink->WaitForMessage(M_RECORD_SETUP_HAND_OVER, 0)) {
			void* pointer = nullptr;
			handOver->FindPointer("recordaction", &pointer);
			delete static_cast<CRecordAction*>(pointer);
		}
		RecordEngine::TearDown();
	}

	// The fake recorder with `flags`, a medium slot and speed tables;
	// stored speeds 8 for CD-R (under "cd-rw writing speed") and 3 for
	// CD-RW (under "cd-r writing speed").
	void UseSetupRecorder(uint64 flags = kRecorderFlags)
	{
		UseRecorder(flags);
		CDriver* driver = fDevice->GetDriver();
		driver->pWriteSpeedCdr = kCdrSpeeds;
		driver->pWriteSpeedCdrw = kCdrwSpeeds;
		driver->ReadDiscInformation = [](CDevice*, SCSI_DISC_INFORMATION* info, SCSI_STATUS* s) {
			if (!gMedium.present)
				return false;
			*info = gMedium.info;
			return Good(s);
		};
		driver->ReadAtipData = [](CDevice*, SCSI_ATIP_DATA*, SCSI_STATUS* s) {
			gMedium.atipReads++;
			return Good(s);
		};
		CPreference* settings = fDevice->GetPreference();
		settings->RemoveName("cd-rw writing speed");
		settings->RemoveName("cd-r writing speed");
		settings->AddInt32("cd-rw writing speed", 8);
		settings->AddInt32("cd-r writing speed", 3);
	}
	void OpenSetup(bool addProject = true)
	{
		fSetup = std::make_unique<CCdRecordView>(fSetupSink->Messenger(), std::vector<CDevice*> {fDevice.get()}, nullptr);
		fSetup->Attach(false);
		if (addProject && fProject != nullptr)
			Notify(PROJECT_ADDED, fProject.get());
	}
	void Notify(uint32 what, CProject* project)
	{
		BMessage notice(what);
		notice.AddPointer("Project", project);
		fSetup->MessageReceived(&notice);
	}
	void Choose(const SETUP_MENU CD_RECORD_SETUP_DISPLAY::*menu, const std::string& label)
	{
		CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
		int32 index = (display.*menu).Find(label);
		ASSERT_GE(index, 0) << label;
		std::unique_ptr<BMessage> message(CCdRecordView::ItemMessage(display.*menu, index));
		fSetup->MessageReceived(message.get());
	}
	void Send(uint32 what)
	{
		BMessage message(what);
		fSetup->MessageReceived(&message);
	}
	// A project of two short real tracks whose used lengths are then set
	// to `minutes` each (the checks read the files, the lengths the sums).
	void MakeLongProject(int32 minutes)
	{
		MakeProject({{588 * 10, 0}, {588 * 10, 0}});
		for (int32 i = 0; i < 2; i++)
			fProject->TrackAt(i)->SetFileLengthUsed(int64(minutes) * 60 * 44100);
	}
	std::unique_ptr<CRecordAction> TakeHandOver()
	{
		std::unique_ptr<BMessage> handOver = fSetupSink->WaitForMessage(M_RECORD_SETUP_HAND_OVER, 0);
		if (handOver == nullptr)
			return nullptr;
		void* pointer = nullptr;
		handOver->FindPointer("recordaction", &pointer);
		return std::unique_ptr<CRecordAction>(static_cast<CRecordAction*>(pointer));
	}

	std::shared_ptr<CMessageSink> fSetupSink;
	std::unique_ptr<CCdRecordView> fSetup;
};

TEST_F(RecordSetup, MenusFollowTheDriverAndTheChoices)
{
	UseSetupRecorder();
	OpenSetup();
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	EXPECT_EQ(display.recorder.shown, fDevice->GetDeviceName());
	EXPECT_EQ(Labels(display.writeMode),
		(std::vector<std::string> {"Disc At Once *", "Track At Once", "Track At Once without fixation -"}));
	// A recorder that simulates defaults to a simulation.
	EXPECT_EQ(Labels(display.action), (std::vector<std::string> {"Write simulation *",
										  "Write simulation and write -", "Write", "Speed Test -"}));
	EXPECT_EQ(display.actionButtonLabel, "Start Simulation");
	EXPECT_FALSE(display.verifyEnabled);
	EXPECT_EQ(Labels(display.cdText),
		(std::vector<std::string> {"None *", "Normal -", "Uppercase -", "Lowercase -"}));
	EXPECT_EQ(fSetup->WriteMode(), RECORD_MODE_DAO);
	EXPECT_EQ(fSetup->ActionFlags(), RECORD_ACTION_SIMULATE);
	// No medium seen yet: the CD-R table with the stored CD-R choice, which
	// the device set-up keeps under the CD-RW key.
	EXPECT_EQ(display.speed.items.size(), 3u);
	EXPECT_TRUE(display.speed.items[2].marked);
	EXPECT_EQ(fSetup->SpeedValue(), 8);
	EXPECT_EQ(fSetup->SpeedFactor(), 8.0f);

	Choose(&CD_RECORD_SETUP_DISPLAY::action, "Write");
	display = fSetup->Display();
	EXPECT_EQ(display.actionButtonLabel, "Start Writing");
	EXPECT_TRUE(display.verifyEnabled);
	BMessage action(M_SETUP_ACTION);
	action.AddInt32("action", 3);
	fSetup->MessageReceived(&action);
	EXPECT_EQ(fSetup->Display().actionButtonLabel, "Start Simulation and Writing");
	action.ReplaceInt32("action", 4);
	fSetup->MessageReceived(&action);
	EXPECT_EQ(fSetup->Display().actionButtonLabel, "Start Speed Test");

	// Changing the mode marks the simulation again.
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Track At Once");
	EXPECT_EQ(fSetup->WriteMode(), RECORD_MODE_TAO_FIXATE);
	EXPECT_EQ(fSetup->Display().action.shown, "Write simulation");
	// A speed choice carries value and factor.
	Choose(&CD_RECORD_SETUP_DISPLAY::speed, fSetup->Display().speed.items[1].label);
	EXPECT_EQ(fSetup->SpeedValue(), 4);
	EXPECT_EQ(fSetup->Display().speed.Marked(), 1);
}

TEST_F(RecordSetup, RecordersWithoutSimulationOrDiscAtOnceOfferOnlyWhatTheyCan)
{
	// Track-at-once only, with no test write at all.
	UseSetupRecorder(F_SUPPORTED | F_TAO_WRITE);
	OpenSetup();
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	EXPECT_EQ(Labels(display.writeMode),
		(std::vector<std::string> {"Disc At Once -", "Track At Once *", "Track At Once without fixation -"}));
	EXPECT_EQ(Labels(display.action), (std::vector<std::string> {"Write simulation -",
										  "Write simulation and write -", "Write *", "Speed Test -"}));
	EXPECT_EQ(display.actionButtonLabel, "Start Writing");
	fSetup.reset();

	// Raw writing counts as disc-at-once; raw test writing as its simulation.
	UseSetupRecorder(F_SUPPORTED | F_RAW_WRITE | F_RAW_TESTWRITE | F_TAO_WRITE);
	OpenSetup();
	display = fSetup->Display();
	EXPECT_EQ(display.writeMode.shown, "Disc At Once");
	EXPECT_EQ(display.action.shown, "Write simulation");
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Track At Once");
	EXPECT_EQ(fSetup->Display().action.shown, "Write");
	EXPECT_FALSE(fSetup->Display().action.items[0].enabled);
}

// Only drives whose driver writes are offered; the last one is chosen, and
// choosing another starts over with its own capabilities.
TEST_F(RecordSetup, RecorderMenuListsTheWritersAndTheLastIsChosen)
{
	UseSetupRecorder();
	auto other = [&](const char* product, uint64 flags) {
		std::string path;
		EXPECT_EQ(RegisterVirtualDevice(std::make_shared<CSilentDrive>(), &path), B_OK);
		int bus = 0, target = 0, lun = 0;
		sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &bus, &target, &lun);
		SCSI_INQUIRY inquiry {};
		memcpy(inquiry.VendorIdentification, "OTHER   ", 8);
		memset(inquiry.ProductIdentification, ' ', 16);
		memcpy(inquiry.ProductIdentification, product, strlen(product));
		auto device = std::make_unique<CDevice>(bus, target, lun, dev_open(path.c_str(), O_RDONLY), &inquiry);
		device->Init(new CFakeDriver(flags), new CPreference("other"));
		return device;
	};
	std::unique_ptr<CDevice> reader = other("READER", F_SUPPORTED | F_AUDIO_READ);
	std::unique_ptr<CDevice> writer = other("WRITER", F_SUPPORTED | F_TAO_WRITE);
	InsertMedium(0, false, 79, 59, 74);
	fSetup = std::make_unique<CCdRecordView>(fSetupSink->Messenger(),
		std::vector<CDevice*> {writer.get(), reader.get(), fDevice.get()}, nullptr);
	fSetup->Attach(true);
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	EXPECT_EQ(Labels(display.recorder),
		(std::vector<std::string> {writer->GetDeviceName(), std::string(fDevice->GetDeviceName()) + " *"}));
	EXPECT_EQ(fSetup->Device(), fDevice.get());

	// Once the medium is seen, the other recorder starts from "no medium"
	// and offers track-at-once writing only; the poller runs again.
	for (int i = 0; i < 200 && !fSetup->RecorderReady(); i++)
		fSetupSink->WaitForMessage(M_RECORD_SETUP_DISPLAY_CHANGED, 50000);
	ASSERT_TRUE(fSetup->RecorderReady());
	gMedium.present = false;
	Choose(&CD_RECORD_SETUP_DISPLAY::recorder, writer->GetDeviceName());
	display = fSetup->Display();
	EXPECT_GE(fSetup->UpdateThread(), 0);
	EXPECT_EQ(find_thread(kSetupPollThreadName), fSetup->UpdateThread());
	EXPECT_EQ(fSetup->Device(), writer.get());
	EXPECT_EQ(display.recorderStatus, "No medium, please insert something suitable.");
	EXPECT_FALSE(fSetup->RecorderReady());
	EXPECT_EQ(display.writeMode.shown, "Track At Once");
	EXPECT_EQ(display.action.shown, "Write");
	fSetup.reset();
}

TEST_F(RecordSetup, MediumStatesFromThePoll)
{
	UseSetupRecorder();
	OpenSetup();
	auto status = [&] { return fSetup->Display().recorderStatus; };
	EXPECT_EQ(status(), "No medium, please insert something suitable.");

	// An empty CD-RW whose last lead-out may start at 79:59.74.
	InsertMedium(0, true, 79, 59, 74);
	fSetup->DeviceUpdate();
	EXPECT_EQ(fSetup->MediumLength(), 359998);
	EXPECT_EQ(status(), "CD-RW medium is empty, length: 79:59.73");
	EXPECT_TRUE(fSetup->RecorderReady());
	EXPECT_EQ(fSetup->MediumType(), 2);
	EXPECT_EQ(gMedium.atipReads, 1);
	// The CD-RW table, with the CD-RW choice stored under the CD-R key.
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	ASSERT_EQ(display.speed.items.size(), 3u);
	EXPECT_EQ(display.speed.items[1].value, 2);
	EXPECT_TRUE(display.speed.items[2].marked);
	EXPECT_EQ(fSetup->SpeedValue(), 3);
	// A second poll of the same medium changes nothing.
	fSetup->DeviceUpdate();
	EXPECT_EQ(gMedium.atipReads, 1);

	// Taken out.
	gMedium.present = false;
	fSetup->DeviceUpdate();
	EXPECT_EQ(status(), "No medium, please insert something suitable.");
	EXPECT_FALSE(fSetup->RecorderReady());

	InsertMedium(1, false, 79, 59, 74);
	fSetup->DeviceUpdate();
	EXPECT_EQ(status(), "Disc is incomplete and cannot be written");
	EXPECT_FALSE(fSetup->RecorderReady());
	EXPECT_EQ(fSetup->MediumType(), 1);

	for (auto [discStatus, minute] : {std::pair {2, 74}, std::pair {0, 0xFF}}) {
		gMedium.present = false;
		fSetup->DeviceUpdate();
		InsertMedium(discStatus, false, uint8(minute), uint8(minute == 0xFF ? 0xFF : 0), uint8(minute == 0xFF ? 0xFF : 0));
		fSetup->DeviceUpdate();
		EXPECT_EQ(status(), "Disc is complete and cannot be written") << discStatus;
		EXPECT_FALSE(fSetup->RecorderReady());
	}

	// A lead-out minute below 11: not ready, the line left as it was.
	gMedium.present = false;
	fSetup->DeviceUpdate();
	InsertMedium(0, false, 10, 59, 74);
	fSetup->DeviceUpdate();
	EXPECT_EQ(status(), "No medium, please insert something suitable.");
	EXPECT_FALSE(fSetup->RecorderReady());

	// While a run holds the recorder nothing is polled.
	gMedium.present = false;
	fDevice->DisableUpdates();
	fSetup->DeviceUpdate();
	EXPECT_EQ(status(), "No medium, please insert something suitable.");
	fDevice->EnableUpdates();
}

TEST_F(RecordSetup, PollingThreadWatchesTheRecorderUntilDetached)
{
	UseSetupRecorder();
	InsertMedium(0, false, 74, 0, 0);
	fSetup = std::make_unique<CCdRecordView>(fSetupSink->Messenger(), std::vector<CDevice*> {fDevice.get()}, nullptr);
	fSetup->Attach(true);
	thread_id poller = find_thread(kSetupPollThreadName);
	ASSERT_GE(poller, 0);
	EXPECT_EQ(poller, fSetup->UpdateThread());
	thread_info info;
	ASSERT_EQ(get_thread_info(poller, &info), B_OK);
	EXPECT_EQ(info.priority, kSetupPollThreadPriority);
	// The first round finds the medium.
	bool seen = false;
	for (int i = 0; i < 100 && !seen; i++) {
		fSetupSink->WaitForMessage(M_RECORD_SETUP_DISPLAY_CHANGED, 200000);
		seen = fSetup->Display().recorderStatus == "CD-R medium is empty, length: 73:59.74";
	}
	EXPECT_TRUE(seen) << fSetup->Display().recorderStatus;
	fSetup->Detach();
	EXPECT_EQ(fSetup->UpdateThread(), -1);
	EXPECT_EQ(find_thread(kSetupPollThreadName), B_NAME_NOT_FOUND);
}

TEST_F(RecordSetup, ProjectStatusTexts)
{
	bool valid = true;
	EXPECT_EQ(ProjectStatusText(3, 4500 * 10 + 75 * 5 + 7, 4500 * 64, &valid),
		"Tracks: 03, length: 10:05.07, unused: 64:00.00");
	EXPECT_TRUE(valid);
	EXPECT_EQ(ProjectStatusText(12, 4500 * 76, -4500 * 2, &valid), "Tracks: 12, length: 76:00.00, oversize: 02:00.00");
	EXPECT_TRUE(valid);
	EXPECT_EQ(ProjectStatusText(100, 4500, 0, &valid), "More than 99 tracks, recording not possible");
	EXPECT_FALSE(valid);
	EXPECT_EQ(ProjectStatusText(0, 0, 0, &valid), "Project contains no tracks, recording not possible");
	EXPECT_EQ(ProjectStatusText(2, 0, 0, &valid), "Project length: 00:00.00, recording not possible");
	EXPECT_FALSE(valid);

	// Through the view: a project two minutes over its own maximum, and
	// then over an 11-minute medium: the shortfall and the track that ends
	// beyond it.
	UseSetupRecorder();
	MakeLongProject(6);
	fProject->SetDiscMaxLength(int64(10) * 60 * 44100);
	OpenSetup();
	EXPECT_EQ(fSetup->Display().project.shown, fProject->Name());
	EXPECT_EQ(fSetup->Display().projectStatus, "Tracks: 02, length: 12:00.00, oversize: 02:00.00");
	EXPECT_TRUE(fSetup->ProjectValid());
	InsertMedium(0, false, 11, 0, 1);
	fSetup->DeviceUpdate();
	EXPECT_EQ(fSetup->Display().projectStatus,
		"Tracks: 02, length: 12:00.00, oversize: 02:00.00, 01:00.00 longer than the medium, 1 track would not fit");
	EXPECT_EQ(MediumShortfallText(4500 * 7 + 3, 2), "07:00.03 longer than the medium, 2 tracks would not fit");
	// The medium goes: the plain form again.
	gMedium.present = false;
	fSetup->DeviceUpdate();
	EXPECT_EQ(fSetup->Display().projectStatus, "Tracks: 02, length: 12:00.00, oversize: 02:00.00");
}

TEST_F(RecordSetup, RosterNoticesKeepTheProjectMenu)
{
	UseSetupRecorder();
	OpenSetup(false);
	EXPECT_EQ(fSetup->Display().projectStatus, "No Project, recording not possible");
	std::filesystem::create_directories(fFolder + "/First");
	std::filesystem::create_directories(fFolder + "/Second");
	CProject first((fFolder + "/First").c_str());
	CProject second((fFolder + "/Second").c_str());
	Notify(PROJECT_ADDED, &first);
	Notify(PROJECT_ADDED, &second);
	// The first announced is chosen; an empty project is refused.
	EXPECT_EQ(fSetup->Project(), &first);
	EXPECT_EQ(fSetup->Display().projectStatus, "Project contains no tracks, recording not possible");
	EXPECT_EQ(Labels(fSetup->Display().project), (std::vector<std::string> {"First *", "Second"}));

	BMessage select(M_SETUP_SELECT_PROJECT);
	select.AddPointer("project", &second);
	fSetup->MessageReceived(&select);
	EXPECT_EQ(fSetup->Project(), &second);
	std::filesystem::rename(fFolder + "/Second", fFolder + "/Renamed");
	second.FolderPathOrNameChanged((fFolder + "/Renamed").c_str());
	Notify(PROJECT_RENAMED, &second);
	EXPECT_EQ(fSetup->Display().project.shown, "Renamed");

	Notify(PROJECT_REMOVED, &second);
	EXPECT_EQ(fSetup->Project(), &first);
	Notify(PROJECT_REMOVED, &first);
	EXPECT_EQ(fSetup->Project(), nullptr);
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	EXPECT_EQ(display.project.shown, "<No Project>");
	EXPECT_TRUE(display.project.items.empty());
	EXPECT_EQ(display.projectStatus, "No Project, recording not possible");
}

TEST_F(RecordSetup, StartChecksRunInOrderAndEachEndsTheAttempt)
{
	UseSetupRecorder();
	MakeLongProject(6);
	AlertScope alerts;
	OpenSetup(false);

	// 1: no valid project, whatever else.
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"The project is invalid, CD recording not possible!"}));
	Notify(PROJECT_ADDED, fProject.get());

	// 2: the speed test, before the recorder is even looked at.
	alerts.Alerts().Clear();
	BMessage speedTest(M_SETUP_ACTION);
	speedTest.AddInt32("action", 4);
	fSetup->MessageReceived(&speedTest);
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"speed test removed"}));

	// 3: no medium.
	alerts.Alerts().Clear();
	Choose(&CD_RECORD_SETUP_DISPLAY::action, "Write simulation");
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"The recorder is not ready, CD recording not possible!"}));
	InsertMedium(1, false, 79, 59, 74);
	fSetup->DeviceUpdate();
	alerts.Alerts().Clear();
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"The recorder is not ready, CD recording not possible!"}));

	// 4 then 6: an 11-minute medium for a 12-minute project; "Cancel" at
	// either warning ends the attempt.
	gMedium.present = false;
	fSetup->DeviceUpdate();
	InsertMedium(0, false, 11, 0, 1);
	fSetup->DeviceUpdate();
	alerts.Alerts().Clear();
	alerts.Alerts().QueueAnswer("Cancel");
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"medium length warning"}));
	std::vector<AlertRequest> shown = alerts.Alerts().Shown();
	EXPECT_EQ(shown[0].buttons, (std::vector<std::string> {"Continue", "Cancel"}));
	EXPECT_EQ(shown[0].type, B_STOP_ALERT);
	EXPECT_EQ(shown[0].text.substr(0, 33), "W A R N I N G     W A R N I N G\n\n");
	alerts.Alerts().Clear();
	alerts.Alerts().QueueAnswer("Continue");
	alerts.Alerts().QueueAnswer("Cancel");
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"medium length warning", "testwrite warning"}));
	EXPECT_EQ(alerts.Alerts().Shown()[1].text.substr(0, 57),
		"W A R N I N G\n\nYou try to start a recording simulation.\n\n");
	EXPECT_EQ(TakeHandOver(), nullptr);

	// 5: a write without simulation, on a medium that fits.
	gMedium.present = false;
	fSetup->DeviceUpdate();
	InsertMedium(0, false, 79, 59, 74);
	fSetup->DeviceUpdate();
	Choose(&CD_RECORD_SETUP_DISPLAY::action, "Write");
	alerts.Alerts().Clear();
	alerts.Alerts().QueueAnswer("Cancel");
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"no testwrite warning"}));
	EXPECT_NE(alerts.Alerts().Shown()[0].text.find("Since this is a beta version, it MAY FAIL"), std::string::npos);
	EXPECT_EQ(TakeHandOver(), nullptr);
	EXPECT_EQ(fSetupSink->CountMessages(B_QUIT_REQUESTED), 0);
}

TEST_F(RecordSetup, StartHandsTheChosenRunToTheStatusWindow)
{
	UseSetupRecorder(kRecorderFlags | F_CDTEXT_WRITE);
	MakeProject({{588 * 300, 0}, {588 * 320, 0}});
	AlertScope alerts;
	OpenSetup();
	InsertMedium(0, true, 79, 59, 74);
	fSetup->DeviceUpdate();
	Choose(&CD_RECORD_SETUP_DISPLAY::cdText, "Lowercase");
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Track At Once");
	Choose(&CD_RECORD_SETUP_DISPLAY::action, "Write");
	BMessage burnProof(M_SETUP_BURN_PROOF);
	burnProof.AddBool("value", true);
	fSetup->MessageReceived(&burnProof);
	BMessage verify(M_SETUP_VERIFY);
	verify.AddBool("value", true);
	fSetup->MessageReceived(&verify);
	alerts.Alerts().QueueAnswer("Continue");
	Send(M_SETUP_START);
	EXPECT_EQ(alerts.Shown(), (std::vector<std::string> {"no testwrite warning"}));

	std::unique_ptr<CRecordAction> action = TakeHandOver();
	ASSERT_NE(action, nullptr);
	EXPECT_EQ(action->nActionFlags, RECORD_ACTION_WRITE);
	EXPECT_EQ(action->nWriteMode, RECORD_MODE_TAO_FIXATE);
	EXPECT_EQ(action->nCdText, CD_TEXT_NONE) << "track at once writes no CD-Text";
	EXPECT_EQ(action->nWriteSpeed, 3);
	EXPECT_EQ(action->fSpeedFactor, 4.0f);
	EXPECT_TRUE(action->bRewritableMedium);
	EXPECT_TRUE(action->bBurnProof);
	EXPECT_TRUE(action->bVerify);
	EXPECT_EQ(action->pProject, fProject.get());
	EXPECT_EQ(action->pDevice, fDevice.get());
	// The hand-over comes first, then the set-up closes.
	EXPECT_NE(fSetupSink->WaitForMessage(B_QUIT_REQUESTED, 0), nullptr);
	EXPECT_TRUE(fSetup->Display().projectProblems.empty());
	ForgetCdTextChoice();
}

TEST_F(RecordSetup, ProjectWhoseFilesCannotBeRecordedIsNamedBeforeAnyWarning)
{
	UseSetupRecorder();
	MakeProject({{588 * 10, 0}, {588 * 20, 0}});
	std::filesystem::remove(fFolder + "/track2.wav");
	AlertScope alerts;
	OpenSetup();
	InsertMedium(0, false, 79, 59, 74);
	fSetup->DeviceUpdate();
	Send(M_SETUP_START);
	ASSERT_EQ(alerts.Shown(), (std::vector<std::string> {"project problems"}));
	std::vector<std::string> problems = fSetup->Display().projectProblems;
	// The short first track is a warning, the missing second one fatal.
	ASSERT_EQ(problems.size(), 2u);
	EXPECT_NE(problems[0].find("track1.wav"), std::string::npos) << problems[0];
	EXPECT_NE(problems[1].find("track2.wav"), std::string::npos) << problems[1];
	std::string text = alerts.Alerts().Shown()[0].text;
	EXPECT_EQ(text.find(problems[0]), std::string::npos) << text;
	EXPECT_NE(text.find(problems[1]), std::string::npos) << text;
	EXPECT_EQ(TakeHandOver(), nullptr);
}

TEST_F(RecordSetup, EjectAndCloseButtons)
{
	UseSetupRecorder();
	OpenSetup();
	Send(M_SETUP_EJECT);
	EXPECT_TRUE(fRecorder.ejected);
	EXPECT_FALSE(fRecorder.trayLocked);
	Send(M_SETUP_CLOSE);
	EXPECT_NE(fSetupSink->WaitForMessage(B_QUIT_REQUESTED, 0), nullptr);
	AlertScope alerts;
	Send(M_SETUP_PROJECT_INFO);
	EXPECT_EQ(alerts.Shown(),
		(std::vector<std::string> {"CCdRecordView::ProjectInfo()\n\nTrack layout display not implemented"}));
}

// The status view reads a written disc back when the run asks for it.
TEST_F(RecordEngine, WriteWithVerificationShowsEachTrackVerified)
{
	UseRecorder();
	MakeProject({{588 * 40 + 100, 0}, {588 * 25 + 300, 75}});
	// Like the default virtual recorder, this one gives a blank disc once
	// the written one was ejected.
	fDevice->GetDriver()->MediumEject = [](CDevice*, SCSI_STATUS* s) {
		gRecorder->Log("MediumEject");
		std::lock_guard<std::mutex> guard(gRecorder->lock);
		gRecorder->ejected = true;
		gRecorder->ejects++;
		gRecorder->sectors.clear();
		gRecorder->tocStarts.clear();
		gRecorder->tocPauses.clear();
		return Good(s);
	};
	CRecordAction* action = Action(RECORD_ACTION_WRITE);
	action->bVerify = true;
	ASSERT_TRUE(Run(action));
	EXPECT_TRUE(fView->Succeeded()) << fView->FailureMessage();
	CD_RECORD_DISPLAY display = fView->Display();
	EXPECT_EQ(display.status, "Writing is finished.");
	EXPECT_EQ(display.verification, (std::vector<std::string> {"Track 01: verified", "Track 02: verified"}));
	// The disc is read back before the one eject of the run: a recorder
	// that hands out a fresh blank after an eject is verified all the same.
	EXPECT_FALSE(fRecorder.Logged("MediumLoad"));
	EXPECT_EQ(fRecorder.ejects, 1);
	EXPECT_TRUE(fView->Verified());

	ExpectNothingLeft();
}

TEST_F(RecordEngine, VerificationNamesTheFirstDifferingSector)
{
	UseRecorder();
	MakeProject({{588 * 40 + 100, 0}, {588 * 25 + 300, 75}});
	// The disc changes between the write and the read-back.
	fDevice->GetDriver()->CloseSession = [](CDevice*, float, SCSI_STATUS* s) {
		std::lock_guard<std::mutex> guard(gRecorder->lock);
		gRecorder->sectors[20][7] ^= 0xFF;
		return Good(s);
	};
	CRecordAction* action = Action(RECORD_ACTION_WRITE);
	action->bVerify = true;
	ASSERT_TRUE(Run(action));
	EXPECT_EQ(fView->Display().verification,
		(std::vector<std::string> {"Track 01: differs from its source at sector 20", "Track 02: verified"}));
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_FALSE(fView->Verified());

	// A stop asked for while the disc is read back ends the reading: the
	// disc stays written, yet not verified.
	fDevice->GetDriver()->ReadAudio = [](CDevice*, void*, int32, int32, SCSI_STATUS* s) {
		gRecorder->view->RequestStop();
		return Good(s);
	};
	action = Action(RECORD_ACTION_WRITE);
	action->bVerify = true;
	ASSERT_TRUE(Run(action));
	EXPECT_TRUE(fView->Succeeded());
	EXPECT_FALSE(fView->Verified());
	EXPECT_EQ(fView->Display().verification, (std::vector<std::string> {"Verification stopped by the user"}));
	EXPECT_TRUE(fRecorder.ejected);

	// A run without verification shows none, and a simulation never verifies.
	ASSERT_TRUE(Run(Action(RECORD_ACTION_WRITE)));
	EXPECT_TRUE(fView->Display().verification.empty());
	action = Action(RECORD_ACTION_SIMULATE);
	action->bVerify = true;
	ASSERT_TRUE(Run(action));
	EXPECT_TRUE(fView->Display().verification.empty());
	ExpectNothingLeft();
}

// The CD-Text menu: offered for disc at once on a recorder that writes
// CD-Text, with a note saying why not otherwise and which tracks lose
// characters; the choice is remembered in the settings.
TEST_F(RecordSetup, CdTextMenuFollowsTheRecorderAndTheWriteModeAndIsRemembered)
{
	ASSERT_EQ(PreferenceHandler.Init((fFolder + "/settings").c_str()), B_OK);
	const std::vector<std::string> disabled {"None *", "Normal -", "Uppercase -", "Lowercase -"};

	UseSetupRecorder(kRecorderFlags | F_CDTEXT_WRITE);
	MakeProject({{588 * 10, 0}, {588 * 10, 0}});
	OpenSetup();
	CD_RECORD_SETUP_DISPLAY display = fSetup->Display();
	EXPECT_EQ(Labels(display.cdText), (std::vector<std::string> {"None *", "Normal", "Uppercase", "Lowercase"}));
	EXPECT_EQ(display.cdText.toolTip.find("NOT IMPLEMENTED"), std::string::npos);
	EXPECT_EQ(display.cdTextNote, "");
	Choose(&CD_RECORD_SETUP_DISPLAY::cdText, "Uppercase");
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_UPPERCASE);
	EXPECT_EQ(fSetup->Display().cdText.shown, "Uppercase");

	// A track whose artist has a letter beyond ISO 8859-1.
	fProject->TrackAt(1)->SetArtist("Czes\xC5\x82\x61w Niemen");
	Notify(PROJECT_TRACK_CHANGED, fProject.get());
	EXPECT_EQ(fSetup->Display().cdTextNote, "CD-Text: characters replaced in track 2");

	// Track at once: none, and the note says why; disc at once brings the
	// choice back.
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Track At Once");
	display = fSetup->Display();
	EXPECT_EQ(Labels(display.cdText), disabled);
	EXPECT_EQ(display.cdTextNote, kCdTextTrackAtOnceNote);
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_NONE);
	BMessage normal(M_SETUP_CD_TEXT);
	normal.AddInt32("cdtext", CD_TEXT_NORMAL);
	fSetup->MessageReceived(&normal);
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_NONE) << "a disabled item is refused";
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Disc At Once");
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_UPPERCASE);

	// A new set-up remembers the choice.
	fSetup.reset();
	OpenSetup();
	EXPECT_EQ(fSetup->Display().cdText.shown, "Uppercase");
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_UPPERCASE);

	// A recorder without CD-Text writing offers none in either mode.
	fSetup.reset();
	UseSetupRecorder(kRecorderFlags);
	OpenSetup();
	display = fSetup->Display();
	EXPECT_EQ(Labels(display.cdText), disabled);
	EXPECT_EQ(display.cdTextNote, kCdTextRecorderNote);
	Choose(&CD_RECORD_SETUP_DISPLAY::writeMode, "Track At Once");
	EXPECT_EQ(Labels(fSetup->Display().cdText), disabled);
	EXPECT_EQ(fSetup->CdText(), CD_TEXT_NONE);
	fSetup.reset();
	ForgetCdTextChoice();
}
