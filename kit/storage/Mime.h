// MIME types of files. A file's type is its "BEOS:TYPE" attribute (or the
// "user.mime_type" xattr other desktop programs write); an untyped file is
// recognised by its first bytes, then by its name's extension. Audio types
// recognised by content: audio/x-wav (RIFF, RF64, BW64), audio/x-aiff,
// audio/flac, audio/mpeg (ID3v2 or two consecutive MPEG audio frames),
// audio/aac (ADTS, ADIF), audio/ogg (Vorbis, FLAC or Speex in Ogg),
// audio/opus, audio/mp4, audio/x-ms-wma, audio/x-matroska, audio/x-ape,
// audio/x-wavpack, audio/x-musepack, audio/x-caf, audio/basic, audio/midi,
// audio/amr.
//
// All functions may be called from any thread.
#pragma once

#include "kit/storage/Node.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <string>

constexpr int32 B_MIME_TYPE_LENGTH = B_ATTR_NAME_LENGTH - 15;   // a type with its NUL

// Types of nodes that are not files.
extern const char* const B_DIRECTORY_MIME_TYPE;   // "application/x-vnd.Be-directory"
extern const char* const B_SYMLINK_MIME_TYPE;     // "application/x-vnd.Be-symlink"
extern const char* const B_FILE_MIME_TYPE;        // "application/octet-stream"

// The type attribute of one node. Does not own the node, which must outlive
// the BNodeInfo.
class BNodeInfo {
public:
	BNodeInfo();
	explicit BNodeInfo(BNode* node);

	status_t SetTo(BNode* node);
	status_t InitCheck() const { return fStatus; }

	// The recorded type into a buffer of B_MIME_TYPE_LENGTH bytes;
	// B_ENTRY_NOT_FOUND when the node has none.
	status_t GetType(char* type) const;
	status_t GetType(std::string* type) const;
	// Records the type (with its NUL, type code B_MIME_TYPE); null or ""
	// removes it. B_BAD_VALUE for a type of B_MIME_TYPE_LENGTH or more.
	status_t SetType(const char* type);

private:
	BNode* fNode = nullptr;
	status_t fStatus = B_NO_INIT;
};

// The type that `data` (the first `size` bytes of a file) and `fileName`
// (may be null; only its extension counts) suggest, or null when neither
// says anything. `data` may be null when size is 0.
const char* sniff_mime_type(const void* data, size_t size, const char* fileName);
// The type the extension of `fileName` suggests, or null.
const char* mime_type_for_extension(const char* fileName);

// The type of the node at `path` (following a final link when `traverse`):
// the recorded type, else what its content and name suggest, else
// B_FILE_MIME_TYPE. Folders give B_DIRECTORY_MIME_TYPE, links (not
// traversed) B_SYMLINK_MIME_TYPE. B_ENTRY_NOT_FOUND and read errors are
// returned as they are.
status_t get_file_mime_type(const char* path, std::string* type, bool traverse = true);

enum {
	B_UPDATE_MIME_INFO_NO_FORCE = 0,          // type only untyped files
	B_UPDATE_MIME_INFO_FORCE_KEEP_TYPE = 1,   // the same (kept for callers)
	B_UPDATE_MIME_INFO_FORCE_UPDATE_ALL = 2,  // retype every file
};
// Records the recognised type on the file at `path` (and with `recursive`
// on everything below a folder). Always synchronous.
status_t update_mime_info(const char* path, bool recursive, bool synchronous, int32 force);
