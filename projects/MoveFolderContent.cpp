// The move of the project root folder's content, under a notice.
#include "projects/MoveFolderContent.h"

#include "frame/Diagnostics.h"
#include "kit/kernel/OS.h"
#include "kit/storage/Directory.h"
#include "kit/support/EscapeText.h"
#include "projects/FileUtil.h"

#include <atomic>
#include <cstdio>

const char* const kRootFolderWithoutAttributesText = "\nThe selected folder is located on a volume that does not accept attributes. It cannot be used.\n";
const char* const kRootFolderWithoutMimeText = "\nThe selected folder is located on a volume that does not use MIME to type files. It cannot be used.\n";
const char* const kRootFolderOnOtherVolumeText = "\nThe new project folder is located on a different volume than the old project folder. It is not possible to move the project folder while Tarnwick is running. Please quit and restart Tarnwick to apply the change.\n";

namespace {

constexpr bigtime_t kDefaultMinimumShow = 3000000;

// Prints the notice; nothing to take down.
class CConsoleMoveFolderNotice : public CMoveFolderNotice {
public:
	void Show(const AlertRequest& request) override
	{
		printf("*** %s ***\n%s\n", request.title.c_str(), request.text.c_str());
		fflush(stdout);
	}
	void Close() override {}
};

CConsoleMoveFolderNotice sConsoleNotice;
std::atomic<CMoveFolderNotice*> sNotice {&sConsoleNotice};

}   // namespace

CMoveFolderNotice* SetMoveFolderNotice(CMoveFolderNotice* notice)
{
	if (notice == nullptr)
		notice = &sConsoleNotice;
	return sNotice.exchange(notice);
}

AlertRequest MoveFolderNoticeRequest()
{
	AlertRequest request;
	request.title = "moving folder";
	request.text = "Tarnwick\n\nPlease wait while the project folder is moved to another volume.\n\nThis may take a few minutes!\n\nThis box will go away when finished.";
	request.buttons = {"OK"};
	request.type = B_INFO_ALERT;
	return request;
}

status_t MoveFolderContent(const char* from, const char* to, bigtime_t minimumShow)
{
	CDebugFunctionTracer tracer("MoveFolderContent");
	if (from == nullptr || to == nullptr)
		return B_BAD_VALUE;

	const bigtime_t start = system_time();
	CMoveFolderNotice* notice = sNotice.load();
	notice->Show(MoveFolderNoticeRequest());

	BDirectory source(from);
	BDirectory destination(to);
	status_t status = source.InitCheck();
	if (status == B_OK)
		status = destination.InitCheck();
	if (status == B_OK)
		status = MoveFolderContentRecursiv(&source, &destination);

	const bigtime_t shown = system_time() - start;
	if (shown < minimumShow)
		snooze(minimumShow - shown);
	notice->Close();
	CDebugFunctionTracer::Trace("moving \"%s\" to \"%s\": %s\n", EscapeControlChars(from).c_str(),
		EscapeControlChars(to).c_str(), StatusText(status));
	return status;
}

status_t MoveFolderContent(const char* from, const char* to)
{
	return MoveFolderContent(from, to, kDefaultMinimumShow);
}
