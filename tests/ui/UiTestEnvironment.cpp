// One Qt application for the whole test program, on the offscreen platform
// unless the caller chose another.
#include <QApplication>

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		setenv("QT_QPA_PLATFORM", "offscreen", 0);
		fApplication = new QApplication(sArgc, sArgv);
	}
	void TearDown() override { delete fApplication; }

private:
	static int sArgc;
	static char sName[];
	static char* sArgv[];
	QApplication* fApplication = nullptr;
};

int QtEnvironment::sArgc = 1;
char QtEnvironment::sName[] = "ui_tests";
char* QtEnvironment::sArgv[] = {QtEnvironment::sName, nullptr};

// Registered before main adds its own environment, so Qt is set up first and
// taken down last.
::testing::Environment* const sQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}   // namespace
