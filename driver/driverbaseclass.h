// The driver record shared by the program and every driver add-on: CDriver
// (capability flags, speed tables, default settings and one command slot per
// drive command), SPEED_INFO, the flag constants, the records some commands
// fill, and the exports of a driver add-on.
//
// A record is made by an add-on's LoadDriver, which binds every slot by
// name from the command library "generic". The program owns the record from
// then on and deletes it through the virtual destructor while the add-on
// that made it is still loaded.
#pragma once

#include "driver/ScsiRecords.h"
#include "kit/support/SupportDefs.h"

#include <cstddef>
#include <string>

class CDevice;
class CToc;

// Symbols that a driver add-on or the command library exports by name.
#define DRIVER_EXPORT __attribute__((visibility("default")))

// Capability bits of CDriver::Flags.
constexpr uint64 F_SUPPORTED = 1ULL << 0;
constexpr uint64 F_EXPERIMENTAL = 1ULL << 1;
constexpr uint64 F_BIGENDIAN = 1ULL << 2;
constexpr uint64 F_GENERIC_DRIVER = 1ULL << 3;
constexpr uint64 F_GENERIC_READONLY = 1ULL << 4;
constexpr uint64 F_AUDIO_READ = 1ULL << 8;
constexpr uint64 F_ATIP_READ = 1ULL << 9;
constexpr uint64 F_ISRC_READ = 1ULL << 10;
constexpr uint64 F_MCN_READ = 1ULL << 11;
constexpr uint64 F_TAO_WRITE = 1ULL << 20;
constexpr uint64 F_DAO_WRITE = 1ULL << 21;
constexpr uint64 F_RAW_WRITE = 1ULL << 22;
constexpr uint64 F_TAO_TESTWRITE = 1ULL << 23;
constexpr uint64 F_DAO_TESTWRITE = 1ULL << 24;
constexpr uint64 F_RAW_TESTWRITE = 1ULL << 25;
constexpr uint64 F_CDTEXT_READ = 1ULL << 36;
constexpr uint64 F_CDTEXT_WRITE = 1ULL << 37;
constexpr uint64 F_BLANK_FULL = 1ULL << 38;
constexpr uint64 F_BLANK_MINIMAL = 1ULL << 39;
constexpr uint64 F_BUFFER_INQUIRY = 1ULL << 40;

// One entry of a speed table. A table is a constant array that ends at the
// first entry whose fFactor is 0.0.
struct SPEED_INFO {
	int32 nValue;             // handed to SpeedSet; drive code or kB/s, opaque to the program
	float fFactor;            // multiple of single speed (176.4 kB/s); -1.0 = no fixed factor
	const char* pszName;      // label replacing the computed one, or null
	const char* pszComment;   // remark shown in parentheses, or null
};

// The table with only the terminating entry: no choice for that purpose.
// Every add-on has its own copy; test a table for emptiness by its first
// entry, not by comparing with this address.
extern const SPEED_INFO speed_dummy[];

// Number of entries before the terminator (0 for null).
int32 CountSpeedEntries(const SPEED_INFO* table);

// READ DISC INFORMATION data (34 bytes, multi-byte fields big-endian).
struct SCSI_DISC_INFORMATION {
	uint8 DataLength[2];
	uint8 DiscStatus : 2;           // 0 empty, 1 incomplete, 2 complete
	uint8 StateOfLastSession : 2;
	uint8 Erasable : 1;
	uint8 Reserved1 : 3;
	uint8 NumberOfFirstTrackOnDisc;
	uint8 NumberOfSessions;
	uint8 FirstTrackNumberInLastSession;
	uint8 LastTrackNumberInLastSession;
	uint8 Reserved2 : 5;
	uint8 URU : 1;
	uint8 DBC_V : 1;
	uint8 DID_V : 1;
	uint8 DiscType;
	uint8 NumberOfSessionsMsb;
	uint8 FirstTrackNumberInLastSessionMsb;
	uint8 LastTrackNumberInLastSessionMsb;
	uint8 DiscIdentification[4];
	uint8 Reserved3;
	uint8 LastSessionStartTimeOfLeadin[3];      // minute, second, frame
	uint8 Reserved4;
	uint8 LastPossibleStartTimeOfLeadout[3];    // minute, second, frame
	uint8 DiscBarCode[8];
	uint8 Reserved5;
	uint8 NumberOfOpcTableEntries;
};
static_assert(sizeof(SCSI_DISC_INFORMATION) == 34);
static_assert(offsetof(SCSI_DISC_INFORMATION, DiscType) == 8);
static_assert(offsetof(SCSI_DISC_INFORMATION, LastSessionStartTimeOfLeadin) == 17);
static_assert(offsetof(SCSI_DISC_INFORMATION, LastPossibleStartTimeOfLeadout) == 21);
static_assert(offsetof(SCSI_DISC_INFORMATION, NumberOfOpcTableEntries) == 33);

// READ TOC/PMA/ATIP format 4 data: the ATIP of a recordable medium, with
// its 4-byte header (28 bytes).
struct SCSI_ATIP_DATA {
	uint8 DataLength[2];
	uint8 Reserved1[2];
	uint8 ReferenceSpeed : 3;
	uint8 Reserved2 : 1;
	uint8 IndicativeTargetWritingPower : 3;
	uint8 One1 : 1;
	uint8 Reserved3 : 6;
	uint8 URU : 1;
	uint8 Zero : 1;
	uint8 A3 : 1;                  // the A3 values are valid
	uint8 A2 : 1;
	uint8 A1 : 1;
	uint8 DiscSubType : 3;
	uint8 DiscType : 1;            // 1 = CD-RW
	uint8 One2 : 1;
	uint8 Reserved4;
	uint8 StartTimeOfLeadin[3];              // minute, second, frame
	uint8 Reserved5;
	uint8 LastPossibleStartTimeOfLeadout[3]; // minute, second, frame
	uint8 Reserved6;
	uint8 A1Values[3];
	uint8 Reserved7;
	uint8 A2Values[3];
	uint8 Reserved8;
	uint8 A3Values[3];
	uint8 Reserved9;
};
static_assert(sizeof(SCSI_ATIP_DATA) == 28);
static_assert(offsetof(SCSI_ATIP_DATA, StartTimeOfLeadin) == 8);
static_assert(offsetof(SCSI_ATIP_DATA, LastPossibleStartTimeOfLeadout) == 12);
static_assert(offsetof(SCSI_ATIP_DATA, A1Values) == 16);

// The command slots of a record, in record order.
enum DRIVER_SLOT : int32 {
	SLOT_PLAY_AUDIO_POSITION,
	SLOT_PLAY_AUDIO_TRACK,
	SLOT_STOP_AUDIO,
	SLOT_PAUSE_AUDIO,
	SLOT_RESUME_AUDIO,
	SLOT_READ_TOC,
	SLOT_READ_AUDIO,
	SLOT_MEDIUM_EJECT,
	SLOT_MEDIUM_LOAD,
	SLOT_MEDIUM_ALLOW_REMOVAL,
	SLOT_MEDIUM_PREVENT_REMOVAL,
	SLOT_MODE_SENSE,
	SLOT_MODE_SELECT,
	SLOT_TEST_UNIT_READY,
	SLOT_CDDA_READ_ENABLE,
	SLOT_CDDA_READ_DISABLE,
	SLOT_SPEED_SET,
	SLOT_SPEED_GET,
	SLOT_START_UNIT,
	SLOT_STOP_UNIT,
	SLOT_READ_BUFFER_CAPACITY,
	SLOT_READ_DISC_INFORMATION,
	SLOT_READ_TRACK_INFORMATION,
	SLOT_READ_ATIP_DATA,
	SLOT_READ_CD_TEXT,
	SLOT_READ_SUB_CHANNEL_CURRENT_POSITION,
	SLOT_READ_SUB_CHANNEL_MCN,
	SLOT_READ_SUB_CHANNEL_ISRC,
	SLOT_WRITE,
	SLOT_OPEN_SESSION,
	SLOT_CLOSE_SESSION,
	SLOT_GET_NEXT_TRACK_NUMBER,
	SLOT_OPEN_TRACK,
	SLOT_CLOSE_TRACK,
	SLOT_FIXATE_DISC,
	SLOT_OPTIMUM_POWER_CALIBRATION,
	SLOT_COUNT
};

// The slot's own name ("PlayAudioPosition", ...), or null for a value
// outside the enumeration.
const char* DriverSlotName(DRIVER_SLOT slot);

// The driver record. Every command takes the drive first and, last, a
// status record that may be null; it returns true on success and fills the
// status record with the command's outcome. The record holds no reference to
// a drive, so one record type serves every drive; after LoadDriver returns
// it is read-only and any thread may call through it.
class CDriver {
public:
	// Binds every slot by name from the command library `image`. A name the
	// library lacks is reported through debugger() and its slot gets a
	// stand-in that fails with os_status B_MISSING_SYMBOL.
	explicit CDriver(image_id image);
	// Releases the record only: strings and tables are constants of the
	// add-on that made it.
	virtual ~CDriver();

	CDriver(const CDriver&) = delete;
	CDriver& operator=(const CDriver&) = delete;

	// Rebinds `slot` to the command library's function `functionName` (a
	// model variant), from the image the record was made with; a missing
	// name is handled as in the constructor.
	void BindFunction(DRIVER_SLOT slot, const char* functionName);
	// The address the slot is bound to (null for a slot outside the
	// enumeration), for the device set-up view's debugging section and tests.
	void* FunctionAddress(DRIVER_SLOT slot) const;

	uint64 Flags;
	const char* pszName;
	const char* pszVersion;
	const char* pszDescription;
	const char* pszInformation;
	const SPEED_INFO* pReadSpeed;
	const SPEED_INFO* pWriteSpeedCdr;
	const SPEED_INFO* pWriteSpeedCdrw;
	int32 nSpindownTimeout;
	int32 nReadSpinupSectors;
	int32 nReadSyncMode;
	int32 nReadSyncSectors;
	int32 nReadErrorAction;
	int32 nReadErrorRetries;

	// Plays from `lba` / the start of `track` to the end of the disc.
	bool (*PlayAudioPosition)(CDevice* device, int32 lba, SCSI_STATUS* status);
	bool (*PlayAudioTrack)(CDevice* device, int32 track, SCSI_STATUS* status);
	bool (*StopAudio)(CDevice* device, SCSI_STATUS* status);
	bool (*PauseAudio)(CDevice* device, SCSI_STATUS* status);
	bool (*ResumeAudio)(CDevice* device, SCSI_STATUS* status);
	// Fills the table of contents, which the caller holds locked and has
	// emptied, and its keys.
	bool (*ReadToc)(CDevice* device, CToc* toc, SCSI_STATUS* status);
	// Reads `sectors` 2352-byte audio sectors from `lba` into `buffer`.
	bool (*ReadAudio)(CDevice* device, void* buffer, int32 lba, int32 sectors, SCSI_STATUS* status);
	bool (*MediumEject)(CDevice* device, SCSI_STATUS* status);
	bool (*MediumLoad)(CDevice* device, SCSI_STATUS* status);
	bool (*MediumAllowRemoval)(CDevice* device, SCSI_STATUS* status);
	bool (*MediumPreventRemoval)(CDevice* device, SCSI_STATUS* status);
	// MODE SENSE(10) data of `page` into `buffer` (at most `length` bytes).
	bool (*ModeSense)(CDevice* device, void* buffer, int32 length, int32 page, uint16 pageControl,
		SCSI_STATUS* status);
	// MODE SELECT(10) of `length` bytes of `buffer`.
	bool (*ModeSelect)(CDevice* device, const void* buffer, int32 length, uint16 pageFormat, uint16 save,
		SCSI_STATUS* status);
	// True = ready.
	bool (*TestUnitReady)(CDevice* device, SCSI_STATUS* status);
	bool (*CddaReadEnable)(CDevice* device, SCSI_STATUS* status);
	bool (*CddaReadDisable)(CDevice* device, SCSI_STATUS* status);
	// Speeds are SPEED_INFO::nValue codes; -1 leaves that speed unchanged.
	bool (*SpeedSet)(CDevice* device, int32 readSpeed, int32 writeSpeed, SCSI_STATUS* status);
	// Current speeds as factors of single speed; a null output is skipped.
	bool (*SpeedGet)(CDevice* device, float* readFactor, float* writeFactor, SCSI_STATUS* status);
	bool (*StartUnit)(CDevice* device, SCSI_STATUS* status);
	bool (*StopUnit)(CDevice* device, SCSI_STATUS* status);
	// The recorder's buffer size and its free part, in bytes.
	bool (*ReadBufferCapacity)(CDevice* device, int32* totalBytes, int32* freeBytes, SCSI_STATUS* status);
	bool (*ReadDiscInformation)(CDevice* device, SCSI_DISC_INFORMATION* information, SCSI_STATUS* status);
	// READ TRACK INFORMATION data of `track` into `buffer` (at most `length` bytes).
	bool (*ReadTrackInformation)(CDevice* device, int32 track, void* buffer, int32 length, SCSI_STATUS* status);
	bool (*ReadAtipData)(CDevice* device, SCSI_ATIP_DATA* atip, SCSI_STATUS* status);
	// CD-Text packs with their 4-byte header into `buffer` (at most `length`
	// bytes; callers pass 36720).
	bool (*ReadCdText)(CDevice* device, void* buffer, int32 length, SCSI_STATUS* status);
	// READ SUB-CHANNEL current position data: 16 bytes into `buffer`.
	bool (*ReadSubChannelCurrentPosition)(CDevice* device, void* buffer, SCSI_STATUS* status);
	// The media catalogue number: 13 digits and a terminating zero.
	bool (*ReadSubChannelMCN)(CDevice* device, char* mcn, SCSI_STATUS* status);
	// The ISRC of `track`: 12 characters and a terminating zero.
	bool (*ReadSubChannelISRC)(CDevice* device, int32 track, char* isrc, SCSI_STATUS* status);
	// Writes `sectors` sectors of `sectorSize` (2352) bytes at `lba`; the
	// status record's time is the command's duration.
	bool (*Write)(CDevice* device, int32 lba, const void* buffer, int32 sectors, int32 sectorSize,
		SCSI_STATUS* status);
	// Disc-at-once: sends the cue sheet and gives the first LBA to write.
	bool (*OpenSession)(CDevice* device, uint16 burnProof, uint16 testWrite, const void* cueSheet,
		int32 cueSheetBytes, int32* firstLba, SCSI_STATUS* status);
	// Writes lead-in and lead-out; the factor is the write speed used.
	bool (*CloseSession)(CDevice* device, float speedFactor, SCSI_STATUS* status);
	// Track-at-once: the number of the next track to write (in: 1).
	bool (*GetNextTrackNumber)(CDevice* device, int32* track, SCSI_STATUS* status);
	// Track-at-once: opens `track` and gives its start LBA. `mcn` (13
	// digits) and `isrc` (12 characters) may be null.
	bool (*OpenTrack)(CDevice* device, int32 track, uint16 burnProof, uint16 testWrite, int32 pauseSectors,
		int32 sectors, uint16 preEmphasis, uint16 copyAllowed, const char* mcn, const char* isrc,
		int32* startLba, SCSI_STATUS* status);
	bool (*CloseTrack)(CDevice* device, int32 track, SCSI_STATUS* status);
	bool (*FixateDisc)(CDevice* device, float speedFactor, SCSI_STATUS* status);
	bool (*OptimumPowerCalibration)(CDevice* device, SCSI_STATUS* status);

	image_id imageId;   // the command library the slots come from
};

// Looks `functionName` up as a function of `image` and stores its address
// in *slot. When it is missing, reports "Couldn't find function ..." with the
// add-on's name and the image id through debugger() and leaves *slot as it
// was.
void get_function_pointer(image_id image, const char* functionName, void** slot);

// The command library image of this add-on, stored by InitDriver (-1 before).
extern image_id imageId;

// What a speed menu item shows and carries: the label, and its message: the
// command code and the fields "speedvalue" (int32) and "speedfactor" (float).
struct SPEED_MENU_ITEM {
	std::string label;
	uint32 command;
	int32 speedValue;
	float speedFactor;
};
constexpr const char* kSpeedValueField = "speedvalue";
constexpr const char* kSpeedFactorField = "speedfactor";

// The item for one table entry; null gives the "current" item (value -1,
// factor -1.0: keep the drive's speed).
SPEED_MENU_ITEM CreateSpeedMenuItem(const SPEED_INFO* speed, uint32 command);

// Exports of every driver add-on, looked up by name. The strings are data
// symbols holding a pointer to a constant string.
extern "C" {
// Stores the command library's image id; true.
DRIVER_EXPORT bool InitDriver(image_id commandLibrary);
// A new record for the drive (never null); F_SUPPORTED only when the add-on
// recognised the model from the inquiry data.
DRIVER_EXPORT CDriver* LoadDriver(const SCSI_INQUIRY* inquiry);
// Called before the add-on is unloaded; true.
DRIVER_EXPORT bool ExitDriver();
DRIVER_EXPORT extern const char* pszDriverName;
DRIVER_EXPORT extern const char* pszDriverVersion;
DRIVER_EXPORT extern const char* pszDriverDescription;
}
