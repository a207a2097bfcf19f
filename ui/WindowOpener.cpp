#include "ui/WindowOpener.h"

#include "kit/interface/qt/GuiThread.h"

BWindow* ShowWindowWithTitle(const char* title, const std::function<BWindow*()>& create)
{
	BWindow* result = nullptr;
	RunOnGuiThread([&] {
		BWindow* window = FindWindow(title);
		if (window == nullptr) {
			window = create();
			if (window == nullptr)
				return;
			window->Show();
		}
		window->Activate();
		result = window;
	});
	return result;
}
