// One Qt application for the whole test program, on the offscreen platform
// unless the caller chose another. Start-up runs for real in these tests,
// with the build's add-ons; drive discovery is pointed at an empty system
// tree and no virtual drives, so a developer's own drives are never probed.
#include "devices/devices.h"
#include "kit/device/DeviceNamespace.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		setenv("QT_QPA_PLATFORM", "offscreen", 0);
		setenv("TARNWICK_VIRTUAL_DRIVES", "none", 0);
		SetDriverAddOnFolder(TARNWICK_ADDONS_DIR);
		std::string root = (std::filesystem::temp_directory_path() / "tarnwick-ui-XXXXXX").string();
		if (mkdtemp(root.data()) != nullptr) {
			fSystemRoot = root;
			dev_set_system_roots(root.c_str(), root.c_str());
		}
		fApplication = new QApplication(sArgc, sArgv);
	}
	void TearDown() override
	{
		delete fApplication;
		if (!fSystemRoot.empty()) {
			std::error_code ignored;
			std::filesystem::remove_all(fSystemRoot, ignored);
		}
	}

private:
	static int sArgc;
	static char sName[];
	static char* sArgv[];
	QApplication* fApplication = nullptr;
	std::string fSystemRoot;
};

int QtEnvironment::sArgc = 1;
char QtEnvironment::sName[] = "ui_tests";
char* QtEnvironment::sArgv[] = {QtEnvironment::sName, nullptr};

// Registered before main adds its own environment, so Qt is set up first and
// taken down last.
::testing::Environment* const sQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}   // namespace
