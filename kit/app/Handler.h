// BHandler: receives the messages its looper dispatches to it.
#pragma once

#include "kit/support/SupportDefs.h"

#include <string>

class BLooper;
class BMessage;

class BHandler {
public:
	explicit BHandler(const char* name = nullptr);
	virtual ~BHandler();
	BHandler(const BHandler&) = delete;
	BHandler& operator=(const BHandler&) = delete;

	// Called on the looper's thread with the looper locked. The default
	// passes the message to the next handler, or answers B_MESSAGE_NOT_UNDERSTOOD
	// to a waiting sender.
	virtual void MessageReceived(BMessage* message);

	BLooper* Looper() const { return fLooper; }
	const char* Name() const { return fName.c_str(); }
	void SetName(const char* name) { fName = name ? name : ""; }
	void SetNextHandler(BHandler* handler) { fNextHandler = handler; }
	BHandler* NextHandler() const { return fNextHandler; }
	bool LockLooper();
	void UnlockLooper();
	// Process-unique token that messengers use to name this handler.
	int32 Token() const { return fToken; }

private:
	friend class BLooper;
	std::string fName;
	BLooper* fLooper = nullptr;
	BHandler* fNextHandler = nullptr;
	int32 fToken;
};
