// The destination pane's rules without a window: pages follow the roster of
// a real project folder, the name rules (slash, counter), create, rename and
// delete with their alerts, the rotating notices, the pop-up menu, and the
// drop on an empty pane. The model's display and its own queue are message
// sinks; the test hands the queued messages to the model as a window would.
#include "projects/DestinationModel.h"

#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/support/Message.h"
#include "media/MediaFixtures.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

constexpr bigtime_t kWait = 15000000;   // a bound, not a delay

class DestinationModelTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
		fRoot = std::string(getenv("HOME")) + "/destination-" + name;
		fs::remove_all(fRoot);
		fs::create_directories(fRoot);
		fPrevious = SetAlertHandler(&fAlerts);
	}

	void TearDown() override
	{
		fModel.reset();
		fRoster.Exit();
		SetAlertHandler(fPrevious);
		for (const AlertRequest& alert : fAlerts.Shown())
			EXPECT_NE(alert.title, "assertion failed") << alert.text;
	}

	// Opens the roster and the model on it, and waits for the pages of the
	// projects already there.
	void Open(int expectedPages, CProjectRoster* roster = nullptr)
	{
		if (roster == nullptr) {
			ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
			roster = &fRoster;
		}
		fModel = std::make_unique<CDestinationModel>(fDisplay->Messenger(), fSelf->Messenger(), roster);
		fModel->Attach();
		ASSERT_TRUE(Pump([&] { return int(fModel->Pages().size()) == expectedPages; }));
	}

	// Hands the model's queued messages to it until `condition` holds.
	bool Pump(const std::function<bool()>& condition, bigtime_t timeout = kWait)
	{
		bigtime_t deadline = system_time() + timeout;
		while (!condition()) {
			bigtime_t left = deadline - system_time();
			if (left <= 0)
				return false;
			std::unique_ptr<BMessage> message = fSelf->WaitForAnyMessage(std::min<bigtime_t>(left, 100000));
			if (message != nullptr)
				fModel->MessageReceived(message.get());
		}
		return true;
	}

	void Send(uint32 what, const char* text = nullptr)
	{
		BMessage message(what);
		if (text != nullptr)
			message.AddString("text", text);
		fModel->MessageReceived(&message);
	}

	std::vector<std::string> Labels() const
	{
		std::vector<std::string> labels;
		for (const DESTINATION_PAGE& page : fModel->Pages())
			labels.push_back(page.label);
		return labels;
	}

	std::vector<std::string> AlertTexts() const
	{
		std::vector<std::string> texts;
		for (const AlertRequest& alert : fAlerts.Shown())
			texts.push_back(alert.text);
		return texts;
	}

	std::string fRoot;
	CProjectRoster fRoster;
	std::shared_ptr<CMessageSink> fDisplay = std::make_shared<CMessageSink>();
	std::shared_ptr<CMessageSink> fSelf = std::make_shared<CMessageSink>();
	std::unique_ptr<CDestinationModel> fModel;
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace

TEST(DestinationNameRules, SlashesBecomeBarsAndTakenNamesGetACounter)
{
	EXPECT_EQ(ProjectNameFromInput("AC/DC//Live"), "AC|DC||Live");
	EXPECT_EQ(ProjectNameFromInput("plain"), "plain");
	EXPECT_EQ(ProjectNameFromInput(nullptr), "");

	std::string root = std::string(getenv("HOME")) + "/destination-names";
	fs::remove_all(root);
	fs::create_directories(root);
	BDirectory base(root.c_str());
	std::string created;
	EXPECT_EQ(B_OK, CreateProjectFolder(&base, "Mix", &created));
	EXPECT_EQ(created, "Mix");
	EXPECT_EQ(B_OK, CreateProjectFolder(&base, "Mix", &created));
	EXPECT_EQ(created, "Mix 1");
	// A file holding the next name counts as taken too.
	std::ofstream(root + "/Mix 2") << "x";
	EXPECT_EQ(B_OK, CreateProjectFolder(&base, "Mix", &created));
	EXPECT_EQ(created, "Mix 3");
	EXPECT_TRUE(fs::is_directory(root + "/Mix 3"));
	EXPECT_TRUE(fs::is_regular_file(root + "/Mix 2"));

	created = "unchanged";
	EXPECT_EQ(B_BAD_VALUE, CreateProjectFolder(&base, "", &created));
	EXPECT_EQ(created, "unchanged");
	// A failure other than a clash ends the tries at once.
	BDirectory gone((root + "/Mix").c_str());
	fs::remove_all(root + "/Mix");
	EXPECT_NE(B_OK, CreateProjectFolder(&gone, "Again", &created));
}

TEST_F(DestinationModelTest, PagesFollowTheRosterAndPopUpMenuNeedsAProject)
{
	Open(0);
	EXPECT_EQ(fModel->ActiveProject(), nullptr);
	std::vector<MENU_ITEM_RECORD> menu = fModel->PopUpMenu();
	ASSERT_EQ(menu.size(), 6u);
	EXPECT_EQ(menu[0].label, "Create New Project");
	EXPECT_EQ(menu[0].command, uint32(DEST_CREATE_PROJECT));
	EXPECT_TRUE(menu[1].separator);
	EXPECT_EQ(menu[2].label, "Rename Project");
	EXPECT_EQ(menu[3].label, "Edit Project Properties");
	EXPECT_TRUE(menu[4].separator);
	EXPECT_EQ(menu[5].label, "Delete Current Project");
	EXPECT_TRUE(menu[0].enabled);
	EXPECT_FALSE(menu[2].enabled);
	EXPECT_TRUE(menu[3].enabled);
	EXPECT_FALSE(menu[5].enabled);

	// Made by another program: pages come in announcement order, the first
	// becomes active, and the display is told.
	fs::create_directory(fRoot + "/First");
	ASSERT_TRUE(Pump([&] { return fModel->Pages().size() == 1; }));
	fs::create_directory(fRoot + "/Second");
	ASSERT_TRUE(Pump([&] { return fModel->Pages().size() == 2; }));
	EXPECT_EQ(Labels(), (std::vector<std::string> {"First", "Second"}));
	CProject* first = fModel->Pages()[0].project;
	CProject* second = fModel->Pages()[1].project;
	EXPECT_EQ(fModel->ActiveProject(), first);
	EXPECT_EQ(fDisplay->Whats(),
		(std::vector<uint32> {DEST_PAGE_ADDED, DEST_PAGE_ACTIVATED, DEST_PAGE_ADDED}));
	BMessage added;
	ASSERT_TRUE(fDisplay->LastMessage(DEST_PAGE_ADDED, &added));
	std::string label;
	added.FindString("label", &label);
	EXPECT_EQ(label, "Second");
	EXPECT_TRUE(fModel->PopUpMenu()[2].enabled);
	EXPECT_TRUE(fModel->PopUpMenu()[5].enabled);
	// Each page holds one reference.
	EXPECT_EQ(fRoster.ReferenceCount(first), 1);

	// Renamed and removed elsewhere: relabelled, then gone; the active page
	// passes to the one that takes its place, the reference is given back.
	fModel->SetActiveProject(second);
	fs::rename(fRoot + "/Second", fRoot + "/Renamed");
	ASSERT_TRUE(Pump([&] { return Labels() == std::vector<std::string> {"First", "Renamed"}; }));
	fs::remove_all(fRoot + "/Renamed");
	ASSERT_TRUE(Pump([&] { return fModel->Pages().size() == 1; }));
	EXPECT_EQ(fModel->ActiveProject(), first);
	EXPECT_EQ(fRoster.ReferenceCount(second), -1);   // given back, and deleted

	// A forwarded notification carries the original inside.
	fDisplay->Clear();
	BMessage changed(PROJECT_CHANGED);
	changed.AddPointer("Project", first);
	fModel->MessageReceived(&changed);
	std::unique_ptr<BMessage> forward = fDisplay->WaitForMessage(DEST_PAGE_MESSAGE, 0);
	ASSERT_NE(forward, nullptr);
	BMessage inner;
	ASSERT_EQ(B_OK, forward->FindMessage("message", &inner));
	EXPECT_EQ(inner.what, uint32(PROJECT_CHANGED));

	// Detaching gives every reference back.
	fModel->Detach();
	EXPECT_EQ(fRoster.ReferenceCount(first), 0);
	EXPECT_TRUE(fModel->Pages().empty());
}

TEST_F(DestinationModelTest, AnnouncementsArrivingAfterDetachingAreGivenBack)
{
	fs::create_directory(fRoot + "/Late");
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CProject* late = fRoster.FindProject("Late");
	ASSERT_NE(late, nullptr);
	fModel = std::make_unique<CDestinationModel>(fDisplay->Messenger(), fSelf->Messenger(), &fRoster);
	fModel->Attach();
	ASSERT_TRUE(fSelf->WaitForCount(PROJECT_ADDED, 1, kWait));
	EXPECT_EQ(fRoster.ReferenceCount(late), 1);   // counted for the pane
	fModel->Detach();
	std::unique_ptr<BMessage> added = fSelf->WaitForMessage(PROJECT_ADDED, 0);
	ASSERT_NE(added, nullptr);
	fModel->MessageReceived(added.get());
	EXPECT_TRUE(fModel->Pages().empty());
	EXPECT_EQ(fRoster.ReferenceCount(late), 0);
}

TEST_F(DestinationModelTest, CreateAsksForANameAndAppliesTheSlashAndCounterRules)
{
	Open(0);
	Send(DEST_CREATE_PROJECT);
	std::unique_ptr<BMessage> ask = fDisplay->WaitForMessage(DEST_ASK_NAME, 0);
	ASSERT_NE(ask, nullptr);
	std::string prompt, text, button;
	int32 reply = 0;
	ask->FindString("prompt", &prompt);
	ask->FindString("text", &text);
	ask->FindString("button", &button);
	ask->FindInt32("reply", &reply);
	EXPECT_EQ(prompt, "Project Name:");
	EXPECT_EQ(text, "New Project");
	EXPECT_EQ(button, "Create");
	EXPECT_EQ(uint32(reply), uint32(DEST_CREATE_PROJECT_NAMED));

	Send(DEST_CREATE_PROJECT_NAMED, "");   // nothing happens
	Send(DEST_CREATE_PROJECT_NAMED, "Rock/Pop");
	Send(DEST_CREATE_PROJECT_NAMED, "Rock/Pop");
	Send(DEST_CREATE_PROJECT_NAMED, "Rock|Pop");
	ASSERT_TRUE(Pump([&] { return fModel->Pages().size() == 3; }));
	EXPECT_TRUE(fs::is_directory(fRoot + "/Rock|Pop"));
	EXPECT_TRUE(fs::is_directory(fRoot + "/Rock|Pop 1"));
	EXPECT_TRUE(fs::is_directory(fRoot + "/Rock|Pop 2"));
	EXPECT_EQ(std::distance(fs::directory_iterator(fRoot), fs::directory_iterator()), 3);
	// The page of the project made last is shown.
	ASSERT_TRUE(Pump([&] { return fModel->ActiveProject() != nullptr
		&& fModel->ActiveProject()->Name() == "Rock|Pop 2"; }));
	EXPECT_TRUE(fAlerts.Shown().empty());
}

TEST_F(DestinationModelTest, CreateWithoutABaseFolderAlerts)
{
	CProjectRoster uninitialised;
	fModel = std::make_unique<CDestinationModel>(fDisplay->Messenger(), fSelf->Messenger(), &uninitialised);
	Send(DEST_CREATE_PROJECT_NAMED, "Anything");
	fModel.reset();
	EXPECT_EQ(AlertTexts(), (std::vector<std::string> {"couldn't get project base folder"}));
}

TEST_F(DestinationModelTest, RenameAndDeleteKeepTheirRulesAndAlerts)
{
	fs::create_directory(fRoot + "/Alpha");
	fs::create_directory(fRoot + "/Beta");
	Open(2);
	CProject* alpha = fRoster.FindProject("Alpha");
	CProject* beta = fRoster.FindProject("Beta");
	ASSERT_NE(alpha, nullptr);
	ASSERT_NE(beta, nullptr);
	fModel->SetActiveProject(alpha);

	Send(DEST_RENAME_PROJECT);
	std::unique_ptr<BMessage> ask = fDisplay->WaitForMessage(DEST_ASK_NAME, 0);
	ASSERT_NE(ask, nullptr);
	std::string text, button;
	ask->FindString("text", &text);
	ask->FindString("button", &button);
	EXPECT_EQ(text, "Alpha");
	EXPECT_EQ(button, "Rename");

	// The same name: nothing at all. Another project's name: the folder
	// cannot take it.
	Send(DEST_RENAME_PROJECT_NAMED, "Alpha");
	EXPECT_TRUE(fAlerts.Shown().empty());
	Send(DEST_RENAME_PROJECT_NAMED, "Beta");
	EXPECT_EQ(AlertTexts(), (std::vector<std::string> {"could not rename project"}));
	EXPECT_TRUE(fs::is_directory(fRoot + "/Beta"));
	fAlerts.Clear();

	// The answer names the project the dialog was opened for, even when
	// another page is shown meanwhile.
	fModel->SetActiveProject(beta);
	BMessage answer(DEST_RENAME_PROJECT_NAMED);
	answer.AddString("text", "A/1");
	answer.AddPointer("Project", alpha);
	fModel->MessageReceived(&answer);
	ASSERT_TRUE(Pump([&] { return fModel->FindPage(alpha)->label == "A|1"; }));
	EXPECT_TRUE(fs::is_directory(fRoot + "/A|1"));

	// A project with tracks stays; an empty one goes.
	std::vector<int16_t> samples(2 * 3000, 100);
	media_test::WriteWav(fRoot + "/Beta/track.wav", samples, 3000);
	ASSERT_TRUE(Pump([&] { return beta->CountTracks() == 1; }));
	fModel->SetActiveProject(beta);
	Send(DEST_DELETE_PROJECT);
	EXPECT_EQ(AlertTexts(), (std::vector<std::string> {"project must be empty"}));
	EXPECT_TRUE(fs::exists(fRoot + "/Beta/track.wav"));
	EXPECT_EQ(fModel->Pages().size(), 2u);

	fAlerts.Clear();
	fModel->SetActiveProject(alpha);
	Send(DEST_DELETE_PROJECT);
	ASSERT_TRUE(Pump([&] { return fModel->Pages().size() == 1; }));
	EXPECT_FALSE(fs::exists(fRoot + "/A|1"));
	EXPECT_EQ(fModel->ActiveProject(), beta);
	EXPECT_TRUE(fAlerts.Shown().empty());
}

TEST_F(DestinationModelTest, EditProjectPropertiesRotatesItsFourNotices)
{
	Open(0);
	for (int i = 0; i < 6; i++)
		Send(DEST_EDIT_PROJECT);
	EXPECT_EQ(AlertTexts(),
		(std::vector<std::string> {"Not implemented.\n", "function not available in this version.\n",
			"It's nothing here yet.\n", "This feature will get implemented in the future.\n", "Not implemented.\n",
			"function not available in this version.\n"}));
}

TEST_F(DestinationModelTest, DropOnAnEmptyPaneMakesNewProjectAndDeliversThereLater)
{
	Open(0);
	entry_ref ref;
	ref.device = 1;
	ref.directory = 2;
	ref.name = "song.wav";
	BMessage drop = MakeFileDropMessage({ref, ref}, true, nullptr);
	EXPECT_EQ(drop.what, uint32(B_SIMPLE_DATA));
	EXPECT_TRUE(drop.HasBool("force_file_copy"));
	fModel->MessageReceived(&drop);
	EXPECT_TRUE(fs::is_directory(fRoot + "/New Project"));
	EXPECT_FALSE(fDisplay->WaitForMessage(DEST_PAGE_MESSAGE, 0));

	// The project's page comes, then the same drop half a second later,
	// which now goes to that page with its files.
	ASSERT_TRUE(Pump([&] { return fDisplay->CountMessages(DEST_PAGE_MESSAGE) == 1; }));
	std::unique_ptr<BMessage> forward = fDisplay->WaitForMessage(DEST_PAGE_MESSAGE, 0);
	void* pointer = nullptr;
	forward->FindPointer("Project", &pointer);
	ASSERT_EQ(fModel->Pages().size(), 1u);
	EXPECT_EQ(pointer, fModel->Pages()[0].project);
	EXPECT_EQ(fModel->Pages()[0].label, "New Project");
	BMessage inner;
	ASSERT_EQ(B_OK, forward->FindMessage("message", &inner));
	EXPECT_EQ(inner.what, uint32(B_SIMPLE_DATA));
	entry_ref second;
	EXPECT_EQ(B_OK, inner.FindRef("refs", 1, &second));
	EXPECT_TRUE(inner.HasBool("force_file_copy"));
	// Only one project was made.
	EXPECT_EQ(std::distance(fs::directory_iterator(fRoot), fs::directory_iterator()), 1);

	// A drop for a project that has no page is refused with an alert.
	BMessage stray = MakeFileDropMessage({ref}, false, reinterpret_cast<CProject*>(0x10));
	fModel->MessageReceived(&stray);
	EXPECT_EQ(AlertTexts(),
		(std::vector<std::string> {"Destination project does not exist, has been removed or is no longer valid."}));
}

TEST_F(DestinationModelTest, DropWhoseProjectNeverAppearsGivesUpInsteadOfMakingMore)
{
	// The model is not attached: the folder is made, but no page comes.
	ASSERT_EQ(B_OK, fRoster.Init(fRoot.c_str()));
	CDestinationModel model(fDisplay->Messenger(), fSelf->Messenger(), &fRoster);
	BMessage drop = MakeFileDropMessage({}, false, nullptr);
	model.MessageReceived(&drop);
	EXPECT_TRUE(fs::is_directory(fRoot + "/New Project"));
	// Every retry comes back to `self`; none makes another project.
	for (int32 i = 0; i < kDelayedDropTries; i++) {
		std::unique_ptr<BMessage> again = fSelf->WaitForMessage(B_SIMPLE_DATA, kWait);
		ASSERT_NE(again, nullptr);
		model.MessageReceived(again.get());
	}
	EXPECT_EQ(std::distance(fs::directory_iterator(fRoot), fs::directory_iterator()), 1);
	EXPECT_FALSE(fSelf->WaitForMessage(B_SIMPLE_DATA, 700000));
	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_NE(fAlerts.Shown()[0].text.find("could not be added"), std::string::npos);
}
