// BMessage: a `what` code and named, typed fields, each holding one or more
// items, with the order of fields kept as they were first added.
//
// Fields have one type; adding an item of another type to an existing name
// fails with B_BAD_TYPE. A field is "fixed size" when all its items have the
// same size and variable otherwise. Fields of the fixed-size types (numbers,
// bool, float, double, pointer, rect, point) are always fixed size, whatever
// isFixedSize says, and every item must have the type's size (B_BAD_VALUE
// otherwise). For other types (strings, raw data, messages, refs) the first
// AddData's isFixedSize decides; a later AddData with another isFixedSize
// fails with B_BAD_TYPE, and items of a fixed field must all have one size.
// String items end with their NUL; message and ref items hold their
// flattened form, which AddData/ReplaceData check (B_BAD_VALUE when invalid).
//
// Copying a message copies `what` and the fields; the reply state stays with
// the original.
//
// Flattening uses this program's own versioned format (see Message.cpp).
// Unflatten checks every length against the buffer and refuses malformed data
// with B_BAD_DATA (or B_NO_MEMORY), leaving the message empty.
//
// A BMessage is not locked: one thread uses it at a time.
#pragma once

#include "kit/interface/Point.h"
#include "kit/interface/Rect.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/SupportDefs.h"
#include "kit/support/TypeConstants.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class BMessageReplyChannel;   // kit/app: how a waiting sender gets its answer

// Common message codes of the platform.
enum : uint32 {
	B_QUIT_REQUESTED = FourCC('_', 'Q', 'R', 'Q'),
	B_NO_REPLY = FourCC('_', 'N', 'R', 'P'),
	B_REPLY = FourCC('_', 'R', 'P', 'Y'),
	B_NODE_MONITOR = FourCC('N', 'D', 'M', 'N'),
	B_SIMPLE_DATA = FourCC('D', 'A', 'T', 'A'),
	B_REFS_RECEIVED = FourCC('R', 'R', 'C', 'V'),
	B_CANCEL = FourCC('_', 'C', 'N', 'L'),
	B_MESSAGE_NOT_UNDERSTOOD = FourCC('_', 'N', 'U', 'N'),
};

class BMessage {
public:
	uint32 what = 0;

	BMessage();
	explicit BMessage(uint32 what);
	BMessage(const BMessage& other);
	BMessage& operator=(const BMessage& other);
	virtual ~BMessage();

	// Field information.
	// By index over fields of `typeRequested` (B_ANY_TYPE: all fields), in
	// field order. B_BAD_INDEX when index is past the end, B_BAD_TYPE when no
	// field of that type exists at all.
	status_t GetInfo(type_code typeRequested, int32 index, const char** nameFound, type_code* typeFound,
		int32* countFound = nullptr) const;
	// By name: B_NAME_NOT_FOUND when there is no such field.
	status_t GetInfo(const char* name, type_code* typeFound, int32* countFound = nullptr) const;
	status_t GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const;
	int32 CountNames(type_code type) const;   // fields of that type (B_ANY_TYPE: all)
	bool IsEmpty() const;                     // no fields
	void MakeEmpty();                         // removes every field; keeps `what`
	status_t Rename(const char* oldEntry, const char* newEntry);
	void PrintToStream() const;

	// Flattening. FlattenedSize is the exact size Flatten writes.
	ssize_t FlattenedSize() const;
	status_t Flatten(char* buffer, ssize_t size) const;
	status_t Flatten(std::string* out) const;
	status_t Unflatten(const char* buffer, size_t size);

	// Adding: B_BAD_VALUE for a null name or data, B_BAD_TYPE when the field
	// exists with another type (or fixed-size mismatch), B_NO_MEMORY.
	status_t AddData(const char* name, type_code type, const void* data, ssize_t numBytes, bool isFixedSize = true,
		int32 count = 1);
	status_t AddRect(const char* name, BRect rect);
	status_t AddPoint(const char* name, BPoint point);
	status_t AddString(const char* name, const char* string);
	status_t AddString(const char* name, const std::string& string);
	status_t AddInt8(const char* name, int8 value);
	status_t AddUInt8(const char* name, uint8 value);
	status_t AddInt16(const char* name, int16 value);
	status_t AddUInt16(const char* name, uint16 value);
	status_t AddInt32(const char* name, int32 value);
	status_t AddUInt32(const char* name, uint32 value);
	status_t AddInt64(const char* name, int64 value);
	status_t AddUInt64(const char* name, uint64 value);
	status_t AddBool(const char* name, bool value);
	status_t AddFloat(const char* name, float value);
	status_t AddDouble(const char* name, double value);
	status_t AddPointer(const char* name, const void* pointer);
	status_t AddMessage(const char* name, const BMessage* message);
	status_t AddRef(const char* name, const entry_ref* ref);

	// Removing: B_NAME_NOT_FOUND / B_BAD_INDEX. Removing the last item of a
	// field removes the field.
	status_t RemoveData(const char* name, int32 index = 0);
	status_t RemoveName(const char* name);

	// Finding: B_NAME_NOT_FOUND, B_BAD_TYPE (field of another type; for
	// FindData B_ANY_TYPE matches any), B_BAD_INDEX. The pointer FindData
	// returns stays valid until the field is changed.
	status_t FindData(const char* name, type_code type, int32 index, const void** data, ssize_t* numBytes) const;
	status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const;
	status_t FindRect(const char* name, BRect* rect) const;
	status_t FindRect(const char* name, int32 index, BRect* rect) const;
	status_t FindPoint(const char* name, BPoint* point) const;
	status_t FindPoint(const char* name, int32 index, BPoint* point) const;
	status_t FindString(const char* name, const char** string) const;
	status_t FindString(const char* name, int32 index, const char** string) const;
	status_t FindString(const char* name, std::string* string) const;
	status_t FindString(const char* name, int32 index, std::string* string) const;
	status_t FindInt8(const char* name, int8* value) const;
	status_t FindInt8(const char* name, int32 index, int8* value) const;
	status_t FindUInt8(const char* name, uint8* value) const;
	status_t FindUInt8(const char* name, int32 index, uint8* value) const;
	status_t FindInt16(const char* name, int16* value) const;
	status_t FindInt16(const char* name, int32 index, int16* value) const;
	status_t FindUInt16(const char* name, uint16* value) const;
	status_t FindUInt16(const char* name, int32 index, uint16* value) const;
	status_t FindInt32(const char* name, int32* value) const;
	status_t FindInt32(const char* name, int32 index, int32* value) const;
	status_t FindUInt32(const char* name, uint32* value) const;
	status_t FindUInt32(const char* name, int32 index, uint32* value) const;
	status_t FindInt64(const char* name, int64* value) const;
	status_t FindInt64(const char* name, int32 index, int64* value) const;
	status_t FindUInt64(const char* name, uint64* value) const;
	status_t FindUInt64(const char* name, int32 index, uint64* value) const;
	status_t FindBool(const char* name, bool* value) const;
	status_t FindBool(const char* name, int32 index, bool* value) const;
	status_t FindFloat(const char* name, float* value) const;
	status_t FindFloat(const char* name, int32 index, float* value) const;
	status_t FindDouble(const char* name, double* value) const;
	status_t FindDouble(const char* name, int32 index, double* value) const;
	status_t FindPointer(const char* name, void** pointer) const;
	status_t FindPointer(const char* name, int32 index, void** pointer) const;
	status_t FindMessage(const char* name, BMessage* message) const;
	status_t FindMessage(const char* name, int32 index, BMessage* message) const;
	status_t FindRef(const char* name, entry_ref* ref) const;
	status_t FindRef(const char* name, int32 index, entry_ref* ref) const;

	// Replacing an existing item (same name, type and index): B_NAME_NOT_FOUND,
	// B_BAD_TYPE, B_BAD_INDEX otherwise.
	status_t ReplaceData(const char* name, type_code type, int32 index, const void* data, ssize_t numBytes);
	status_t ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes);
	status_t ReplaceRect(const char* name, BRect rect);
	status_t ReplaceRect(const char* name, int32 index, BRect rect);
	status_t ReplacePoint(const char* name, BPoint point);
	status_t ReplacePoint(const char* name, int32 index, BPoint point);
	status_t ReplaceString(const char* name, const char* string);
	status_t ReplaceString(const char* name, int32 index, const char* string);
	status_t ReplaceString(const char* name, const std::string& string);
	status_t ReplaceInt8(const char* name, int8 value);
	status_t ReplaceInt8(const char* name, int32 index, int8 value);
	status_t ReplaceUInt8(const char* name, uint8 value);
	status_t ReplaceInt16(const char* name, int16 value);
	status_t ReplaceUInt16(const char* name, uint16 value);
	status_t ReplaceInt32(const char* name, int32 value);
	status_t ReplaceInt32(const char* name, int32 index, int32 value);
	status_t ReplaceUInt32(const char* name, uint32 value);
	status_t ReplaceInt64(const char* name, int64 value);
	status_t ReplaceInt64(const char* name, int32 index, int64 value);
	status_t ReplaceUInt64(const char* name, uint64 value);
	status_t ReplaceBool(const char* name, bool value);
	status_t ReplaceBool(const char* name, int32 index, bool value);
	status_t ReplaceFloat(const char* name, float value);
	status_t ReplaceDouble(const char* name, double value);
	status_t ReplacePointer(const char* name, const void* pointer);
	status_t ReplacePointer(const char* name, int32 index, const void* pointer);
	status_t ReplaceMessage(const char* name, const BMessage* message);
	status_t ReplaceMessage(const char* name, int32 index, const BMessage* message);
	status_t ReplaceRef(const char* name, const entry_ref* ref);
	status_t ReplaceRef(const char* name, int32 index, const entry_ref* ref);

	// Presence of an item of the given name, type (B_ANY_TYPE: any) and index.
	bool HasData(const char* name, type_code type, int32 index = 0) const;
	bool HasRect(const char* name, int32 index = 0) const;
	bool HasPoint(const char* name, int32 index = 0) const;
	bool HasString(const char* name, int32 index = 0) const;
	bool HasInt8(const char* name, int32 index = 0) const;
	bool HasInt16(const char* name, int32 index = 0) const;
	bool HasInt32(const char* name, int32 index = 0) const;
	bool HasInt64(const char* name, int32 index = 0) const;
	bool HasBool(const char* name, int32 index = 0) const;
	bool HasFloat(const char* name, int32 index = 0) const;
	bool HasDouble(const char* name, int32 index = 0) const;
	bool HasPointer(const char* name, int32 index = 0) const;
	bool HasMessage(const char* name, int32 index = 0) const;
	bool HasRef(const char* name, int32 index = 0) const;

	// Convenience readers with a default for a missing item.
	int32 GetInt32(const char* name, int32 defaultValue) const;
	int64 GetInt64(const char* name, int64 defaultValue) const;
	bool GetBool(const char* name, bool defaultValue) const;
	const char* GetString(const char* name, const char* defaultValue) const;

	// Replies (defined in kit/app). A message sent with a reply expected
	// carries its reply channel; SendReply answers it once.
	bool IsSourceWaiting() const;
	bool WasDelivered() const { return fWasDelivered; }
	status_t SendReply(uint32 command);
	status_t SendReply(BMessage* reply);

private:
	friend class BMessenger;
	friend class BLooper;
	friend class BMessageReplyChannel;

	struct Field;
	struct Internal;              // item checks, flattening, parsing (Message.cpp)
	std::vector<Field> fFields;   // in order of first addition
	std::shared_ptr<BMessageReplyChannel> fReplyChannel;
	bool fWasDelivered = false;

	Field* FindField(const char* name);
	const Field* FindField(const char* name) const;
};
