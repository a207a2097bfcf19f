// Test entry: every test program runs with HOME and the XDG folders inside a
// fresh temporary folder, and with scripted alerts, so no test touches the
// user's files or waits for a person.
#include "kit/interface/Alert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class TestEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		std::string base = std::filesystem::temp_directory_path() / ("tarnwick-test-XXXXXX");
		std::string buffer = base;
		if (mkdtemp(buffer.data()) == nullptr)
			abort();
		fRoot = buffer;
		setenv("HOME", fRoot.c_str(), 1);
		setenv("XDG_CONFIG_HOME", (fRoot + "/config").c_str(), 1);
		setenv("XDG_DATA_HOME", (fRoot + "/data").c_str(), 1);
		fPrevious = SetAlertHandler(&fAlerts);
	}
	void TearDown() override
	{
		SetAlertHandler(fPrevious);
		std::error_code ignored;
		std::filesystem::remove_all(fRoot, ignored);
	}

private:
	std::string fRoot;
	CScriptedAlertHandler fAlerts {2};   // "Ignore" for assertions nobody scripted
	CAlertHandler* fPrevious = nullptr;
};

}   // namespace

int main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	::testing::AddGlobalTestEnvironment(new TestEnvironment);
	return RUN_ALL_TESTS();
}
