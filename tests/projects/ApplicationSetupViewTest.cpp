// The application preferences' logic on real folders with faked volume
// capabilities: the volume alerts in order, the same-volume swap of the
// project folder, and the move to another volume recorded for the next start.
#include "projects/ApplicationSetupView.h"

#include "frame/App.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/interface/Alert.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "projects/FileUtil.h"
#include "projects/ProjectRoster.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Volumes by folder: the longest listed prefix of a path decides.
class CFakeVolumes : public CVolumeInspector {
public:
	bool Inspect(const std::string& path, VOLUME_CAPABILITIES* capabilities) const override
	{
		size_t best = 0;
		bool found = false;
		for (const auto& [prefix, volume] : fVolumes) {
			if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= best) {
				best = prefix.size();
				*capabilities = volume;
				found = true;
			}
		}
		return found;
	}

	static VOLUME_CAPABILITIES Good(int64 device)
	{
		VOLUME_CAPABILITIES volume;
		volume.device = device;
		volume.persistent = true;
		volume.removable = false;
		volume.readOnly = false;
		volume.attributes = volume.mimeTypes = volume.queries = true;
		return volume;
	}

	std::map<std::string, VOLUME_CAPABILITIES> fVolumes;
};

void WriteFile(const fs::path& path, const std::string& data)
{
	std::ofstream out(path, std::ios::binary);
	out << data;
}

std::string ReadFile(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ApplicationSetupViewTest : public testing::Test {
protected:
	void SetUp() override
	{
		fFolder = fs::path(getenv("HOME")) / ("appsetup-" + std::to_string(sCounter++));
		fs::create_directories(fFolder);
		ASSERT_EQ(PreferenceHandler.Init((fFolder / "Tarnwick Settings").string().c_str()), B_OK);
		fPrevious = SetAlertHandler(&fAlerts);
		fCurrent = (fFolder / "Tarnwick Projects").string();
		fs::create_directories(fs::path(fCurrent) / "Alpha");
		WriteFile(fs::path(fCurrent) / "Alpha" / "song.wav", "alpha");
		fVolumes = std::make_shared<CFakeVolumes>();
		fVolumes->fVolumes[fFolder.string()] = CFakeVolumes::Good(1);
	}
	void TearDown() override { SetAlertHandler(fPrevious); }

	std::unique_ptr<CApplicationSetupView> MakeView()
	{
		auto view = std::make_unique<CApplicationSetupView>([this] { return fCurrent; }, fVolumes);
		view->AttachedToWindow();
		return view;
	}

	static std::unique_ptr<BMessage> Stored(const char* name)
	{
		return std::unique_ptr<BMessage>(PreferenceHandler.LoadMessage(name));
	}

	static inline int sCounter = 0;
	fs::path fFolder;
	std::string fCurrent;
	std::shared_ptr<CFakeVolumes> fVolumes;
	CScriptedAlertHandler fAlerts {0};
	CAlertHandler* fPrevious = nullptr;
};

TEST_F(ApplicationSetupViewTest, EachVolumeCheckAlertsInOrderAndKeepsTheOldFolder)
{
	const std::string chosen = (fFolder / "Elsewhere").string();
	auto sink = std::make_shared<CMessageSink>();
	auto view = MakeView();
	view->SetTarget(sink->Messenger());
	EXPECT_EQ(view->Display().projectFolder, fCurrent);
	EXPECT_TRUE(view->Display().showSplashScreen);
	EXPECT_FALSE(view->Display().renameFiles);
	EXPECT_FALSE(view->Display().revertEnabled);

	// The selector opens where the shown path's last '/' cuts it.
	BMessage show(APPLICATION_SETUP_SHOW_SELECTOR);
	EXPECT_TRUE(view->MessageReceived(&show));
	std::unique_ptr<BMessage> open = sink->WaitForMessage(APPLICATION_SETUP_OPEN_SELECTOR, 0);
	ASSERT_NE(open, nullptr);
	EXPECT_STREQ(open->GetString("folder", ""), fFolder.string().c_str());
	EXPECT_TRUE(view->Display().selectorOpen);
	BMessage cancel(B_CANCEL);
	EXPECT_TRUE(view->MessageReceived(&cancel));
	EXPECT_FALSE(view->Display().selectorOpen);

	// Check i fails first when it and every later one fail.
	for (int32 check = 0; check < 6; check++) {
		VOLUME_CAPABILITIES volume = CFakeVolumes::Good(2);
		bool* passes[6] = {&volume.persistent, nullptr, nullptr, &volume.attributes, &volume.mimeTypes,
			&volume.queries};
		for (int32 later = check; later < 6; later++) {
			if (later == 1)
				volume.removable = true;
			else if (later == 2)
				volume.readOnly = true;
			else
				*passes[later] = false;
		}
		fVolumes->fVolumes[chosen] = volume;
		EXPECT_EQ(CApplicationSetupView::FirstFailingCheck(volume), check);

		entry_ref ref;
		ASSERT_EQ(get_ref_for_path(chosen.c_str(), &ref), B_OK);
		BMessage selected(APPLICATION_SETUP_FOLDER_SELECTED);
		selected.AddRef("refs", &ref);
		EXPECT_TRUE(view->MessageReceived(&selected));
		ASSERT_EQ(fAlerts.CountShown(), size_t(check + 1));
		EXPECT_EQ(fAlerts.Shown().back().text, CApplicationSetupView::kVolumeAlerts[check]);
		EXPECT_EQ(view->Display().projectFolder, fCurrent);
		EXPECT_FALSE(view->IsChanged());
	}
	EXPECT_EQ(std::string(CApplicationSetupView::kVolumeAlerts[1]),
		"\nThe selected folder is located on a removeable volume. It cannot be used.\n");

	// A folder inside the project folder, or one that holds it, cannot take
	// its place.
	EXPECT_FALSE(view->FolderSelected(fCurrent + "/Alpha"));
	EXPECT_FALSE(view->FolderSelected(fFolder.string()));
	EXPECT_EQ(fAlerts.Shown().back().text, CApplicationSetupView::kNestedFolderAlert);

	// A volume that passes every check is taken.
	fVolumes->fVolumes[chosen] = CFakeVolumes::Good(2);
	EXPECT_TRUE(view->FolderSelected(chosen + "/"));
	EXPECT_EQ(view->Display().projectFolder, chosen);
	EXPECT_TRUE(view->Display().revertEnabled);
	BMessage revert(APPLICATION_SETUP_REVERT);
	EXPECT_TRUE(view->MessageReceived(&revert));
	EXPECT_EQ(view->Display().projectFolder, fCurrent);
	EXPECT_FALSE(view->Display().revertEnabled);

	// Closing without a change writes nothing.
	view->DetachedFromWindow();
	EXPECT_EQ(Stored("project root folder"), nullptr);
	EXPECT_EQ(Stored("splash screen"), nullptr);
}

TEST_F(ApplicationSetupViewTest, OnTheSameVolumeTheProjectFolderTakesTheChosenPlaceKeepingWhatItHeld)
{
	const fs::path chosen = fFolder / "Music" / "CD Projects";
	fs::create_directories(chosen / "Alpha");
	WriteFile(chosen / "Alpha" / "old.txt", "old alpha");
	WriteFile(chosen / "notes.txt", "notes");

	auto view = MakeView();
	ASSERT_TRUE(view->FolderSelected(chosen.string()));
	BMessage check(APPLICATION_SETUP_CHECK_BOX);
	check.AddBool("RenameFiles", true);
	EXPECT_TRUE(view->MessageReceived(&check));
	view->DetachedFromWindow();
	EXPECT_EQ(fAlerts.CountShown(), 0u);

	// The project folder is there with its project; the chosen folder's
	// former content sits inside it, a clashing name made free.
	EXPECT_FALSE(fs::exists(fCurrent));
	EXPECT_EQ(ReadFile(chosen / "Alpha" / "song.wav"), "alpha");
	EXPECT_EQ(ReadFile(chosen / "Alpha (1)" / "old.txt"), "old alpha");
	EXPECT_EQ(ReadFile(chosen / "notes.txt"), "notes");
	EXPECT_FALSE(fs::exists(chosen.parent_path() / kTemporaryProjectFolderName));

	std::unique_ptr<BMessage> root = Stored("project root folder");
	ASSERT_NE(root, nullptr);
	EXPECT_STREQ(root->GetString("rootfolder", ""), chosen.string().c_str());
	EXPECT_FALSE(root->HasBool("move folder"));
	std::unique_ptr<BMessage> settings = Stored("global project settings");
	ASSERT_NE(settings, nullptr);
	EXPECT_TRUE(settings->GetBool("rename source files", false));

	// The swap refuses nested folders and never overwrites a leftover
	// temporary folder.
	EXPECT_EQ(SwapProjectFolder(chosen.string(), (chosen / "Alpha").string()), B_BAD_VALUE);
	const fs::path other = fFolder / "Music" / "Other";
	fs::create_directories(fFolder / "Music" / kTemporaryProjectFolderName / "kept");
	fs::create_directories(other);
	EXPECT_NE(SwapProjectFolder(chosen.string(), other.string()), B_OK);
	EXPECT_TRUE(fs::exists(fFolder / "Music" / kTemporaryProjectFolderName / "kept"));
	EXPECT_TRUE(fs::exists(chosen / "Alpha" / "song.wav"));
	EXPECT_TRUE(fs::exists(other));
}

TEST_F(ApplicationSetupViewTest, AnotherVolumeIsRecordedAndMovedAtTheNextStart)
{
	const fs::path chosen = fFolder / "usb-disk" / "Projects";
	fs::create_directories(chosen);
	WriteFile(chosen / "readme", "kept");
	fVolumes->fVolumes[(fFolder / "usb-disk").string()] = CFakeVolumes::Good(7);
	{
		CPreference record("project root folder");
		record.AddString("rootfolder", fCurrent.c_str());
		ASSERT_TRUE(record.Save());
	}

	auto view = MakeView();
	// A typed path gets the checks too.
	BMessage edited(APPLICATION_SETUP_FOLDER_EDITED);
	edited.AddString("text", chosen.string().c_str());
	EXPECT_TRUE(view->MessageReceived(&edited));
	EXPECT_TRUE(view->Display().revertEnabled);
	EXPECT_EQ(view->Apply(), B_OK);

	ASSERT_EQ(fAlerts.CountShown(), 1u);
	EXPECT_EQ(fAlerts.Shown()[0].text, CApplicationSetupView::kOtherVolumeNotice);
	EXPECT_TRUE(fs::exists(fs::path(fCurrent) / "Alpha" / "song.wav")) << "nothing moves while running";
	std::unique_ptr<BMessage> root = Stored("project root folder");
	ASSERT_NE(root, nullptr);
	EXPECT_TRUE(root->GetBool("move folder", false));
	EXPECT_STREQ(root->GetString("rootfolder", ""), fCurrent.c_str());
	EXPECT_STREQ(root->GetString("newrootfolder", ""), chosen.string().c_str());

	// The next start carries it out.
	std::string path;
	testing::internal::CaptureStdout();
	status_t status = ResolveProjectRootFolder(&path,
		[](const char* from, const char* to) { return MoveFolderContentRecursiv(from, to); });
	testing::internal::GetCapturedStdout();
	ASSERT_EQ(status, B_OK);
	EXPECT_EQ(path, chosen.string());
	EXPECT_EQ(ReadFile(chosen / "Alpha" / "song.wav"), "alpha");
	EXPECT_EQ(ReadFile(chosen / "readme"), "kept");
	EXPECT_FALSE(fs::exists(fCurrent));
	root = Stored("project root folder");
	EXPECT_FALSE(root->HasBool("move folder"));
	EXPECT_STREQ(root->GetString("rootfolder", ""), chosen.string().c_str());

	// A typed folder on a volume that fails a check is refused on closing.
	fCurrent = chosen.string();
	fVolumes->fVolumes[(fFolder / "tmp").string()] = CFakeVolumes::Good(3);
	fVolumes->fVolumes[(fFolder / "tmp").string()].persistent = false;
	auto second = MakeView();
	BMessage typed(APPLICATION_SETUP_FOLDER_EDITED);
	typed.AddString("text", (fFolder / "tmp" / "x").string().c_str());
	second->MessageReceived(&typed);
	EXPECT_NE(second->Apply(), B_OK);
	EXPECT_EQ(fAlerts.Shown().back().text, CApplicationSetupView::kVolumeAlerts[0]);
	EXPECT_FALSE(fs::exists(fFolder / "tmp" / "x"));
}

TEST_F(ApplicationSetupViewTest, TheRunningRosterFollowsTheSwappedFolderAndTakesItsFormerContent)
{
	const fs::path chosen = fFolder / "Elsewhere";
	fs::create_directories(chosen / "Old Disc");
	CProjectRoster roster;
	ASSERT_EQ(roster.Init(fCurrent.c_str()), B_OK);
	ASSERT_NE(roster.FindProject("Alpha"), nullptr);

	auto view = std::make_unique<CApplicationSetupView>(
		[&roster] {
			BDirectory base;
			return roster.GetProjectBaseFolder(&base) == B_OK ? base.Path() : std::string();
		},
		fVolumes);
	view->AttachedToWindow();
	EXPECT_EQ(view->Display().projectFolder, fCurrent);
	ASSERT_TRUE(view->FolderSelected(chosen.string()));
	view->DetachedFromWindow();

	// The roster keeps its projects and follows the folder to its new place
	// (what is saved as the root folder at exit), and the folder that was
	// there becomes a project.
	const bigtime_t deadline = system_time() + 20000000;
	auto followed = [&] {
		BDirectory base;
		return roster.GetProjectBaseFolder(&base) == B_OK && base.Path() == chosen.string()
			&& roster.FindProject("Old Disc") != nullptr;
	};
	while (!followed() && system_time() < deadline)
		snooze(10000);
	BDirectory base;
	roster.GetProjectBaseFolder(&base);
	EXPECT_EQ(base.Path(), chosen.string());
	EXPECT_NE(roster.FindProject("Old Disc"), nullptr);
	EXPECT_NE(roster.FindProject("Alpha"), nullptr);
	EXPECT_EQ(fAlerts.CountShown(), 0u);
	roster.Exit();
	EXPECT_TRUE(fs::exists(chosen / "Alpha" / "song.wav"));
}

TEST(VolumeInspector, TheHomeVolumeServesAndAMissingFolderIsJudgedByItsParent)
{
	CVolumeInspector volumes;
	VOLUME_CAPABILITIES home;
	ASSERT_TRUE(volumes.Inspect(getenv("HOME"), &home));
	VOLUME_CAPABILITIES missing;
	ASSERT_TRUE(volumes.Inspect(std::string(getenv("HOME")) + "/not/made/yet", &missing));
	EXPECT_EQ(missing.device, home.device);
	EXPECT_EQ(missing.attributes, home.attributes);
	EXPECT_EQ(home.queries, home.attributes) << "queries pass wherever attributes do";
	EXPECT_FALSE(volumes.Inspect("relative/path", &missing));
}

}   // namespace
