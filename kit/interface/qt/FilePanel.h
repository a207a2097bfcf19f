// BFilePanel: a non-modal panel in which the user chooses one folder. The
// choice is sent as a message to a target; the panel stays with its owner
// and may be shown again.
#pragma once

#include "kit/app/Messenger.h"
#include "kit/support/Message.h"

#include <memory>

class QFileDialog;

class BFilePanel {
public:
	// GUI thread (every member). When the user confirms, a copy of
	// `message` (null: B_REFS_RECEIVED) with the folder added as the
	// entry_ref "refs" goes to `target`; when the user cancels or closes the
	// panel, B_CANCEL with the int32 "old_what" (the message's code).
	// `startFolder` null: the user's home folder.
	explicit BFilePanel(const BMessenger& target, const char* startFolder = nullptr,
		const BMessage* message = nullptr);
	~BFilePanel();
	BFilePanel(const BFilePanel&) = delete;
	BFilePanel& operator=(const BFilePanel&) = delete;

	void SetTitle(const char* title);
	// The label of the confirming button.
	void SetButtonLabel(const char* label);
	void SetTarget(const BMessenger& target);
	void SetMessage(const BMessage* message);
	void SetPanelDirectory(const char* folder);

	void Show();
	void Hide();
	bool IsShowing() const;
	// The dialog behind the panel.
	QFileDialog* Dialog() const { return fDialog.get(); }

private:
	void Confirmed(const char* folder);
	void Cancelled();

	std::unique_ptr<QFileDialog> fDialog;
	BMessenger fTarget;
	BMessage fMessage;
};
