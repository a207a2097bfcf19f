// Test entry: every test program runs with HOME, the XDG folders and TMPDIR
// inside one fresh temporary folder, and with scripted alerts, so no test
// touches the user's files or waits for a person.
//
// The folder belongs to the process that made it and is removed when that
// process exits, whatever the tests left in it. Death-test children (forked,
// or started again with the internal death-test flag) inherit it through
// TARNWICK_TEST_ROOT and never remove it: they end without running the
// fixtures' tear-down, so anything they made is swept with the folder.
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kRootVariable = "TARNWICK_TEST_ROOT";

std::string gRoot;
pid_t gOwner = -1;

void RemoveRoot()
{
	if (getpid() != gOwner || gRoot.empty())
		return;
	std::error_code ignored;
	std::filesystem::remove_all(gRoot, ignored);
}

// The folder of this run: the inherited one in a death-test child, else a
// new one owned by this process.
void SetUpRoot()
{
	const char* inherited = getenv(kRootVariable);
	struct stat st;
	if (inherited != nullptr && inherited[0] == '/' && stat(inherited, &st) == 0 && S_ISDIR(st.st_mode)) {
		gRoot = inherited;
		return;
	}
	std::string buffer = (std::filesystem::temp_directory_path() / "tarnwick-test-XXXXXX").string();
	if (mkdtemp(buffer.data()) == nullptr)
		abort();
	gRoot = buffer;
	gOwner = getpid();
	atexit(RemoveRoot);
	setenv(kRootVariable, gRoot.c_str(), 1);
	// Open to others for passing through: death tests that drop their
	// privileges still reach the files their fixtures made.
	chmod(gRoot.c_str(), 0755);
	mkdir((gRoot + "/tmp").c_str(), 0755);
	setenv("HOME", gRoot.c_str(), 1);
	setenv("XDG_CONFIG_HOME", (gRoot + "/config").c_str(), 1);
	setenv("XDG_DATA_HOME", (gRoot + "/data").c_str(), 1);
	// Folders the tests make for themselves land inside the run's folder.
	setenv("TMPDIR", (gRoot + "/tmp").c_str(), 1);
}

class TestEnvironment : public ::testing::Environment {
public:
	void SetUp() override { fPrevious = SetAlertHandler(&fAlerts); }
	void TearDown() override { SetAlertHandler(fPrevious); }

private:
	CScriptedAlertHandler fAlerts {2};   // "Ignore" for assertions nobody scripted
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace

int main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	SetUpRoot();
	::testing::AddGlobalTestEnvironment(new TestEnvironment);
	return RUN_ALL_TESTS();
}
