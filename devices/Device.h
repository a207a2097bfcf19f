// One optical drive for the whole run of the program: its address and
// inquiry data, its names, its raw and system descriptors, its driver record
// and its table of contents.
//
// Every drive command goes through the driver record's command slots, each
// taking the CDevice first; the command library (an add-on) reads the drive's
// descriptors, names and properties through the accessors below, which the
// program exports for it. The accessors are out of line so that an add-on
// never depends on the layout of this class.
//
// The class grows in layers: this part holds what the command functions
// need (construction, names, descriptors, the ATAPI, debug and byte-order
// properties, the driver record and the table of contents). The settings
// record, the title store, exclusive use, the listeners and the update
// thread, the speed functions and the MMC adaptation of generic records
// join it in the sections marked below.
#pragma once

#include "devices/ScsiMisc.h"
#include "frame/Diagnostics.h"
#include "kit/support/SupportDefs.h"

#include "kit/app/Messenger.h"
#include "kit/kernel/OS.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CCdInfo;
class CDriver;
class CPreference;
class CToc;
struct SPEED_INFO;

// Notifications a device posts to its listeners.
enum : uint32 {
	M_NOTIFY_CD_INSERTED = 256,   // a disc became readable (its TOC and names are read)
	M_NOTIFY_CD_REMOVED = 257,    // the disc stopped being readable
	M_NOTIFY_CD_UPDATE = 258,     // after every poll
	M_NOTIFY_TOC_UPDATE = 259,    // int32 "track": names in the TOC changed
};

class TW_EXPORT CDevice {
public:
	// Sizes of the name fields, terminating zero included.
	static constexpr size_t kVendorSize = 9;
	static constexpr size_t kProductSize = 17;
	static constexpr size_t kRevisionSize = 5;
	static constexpr size_t kNameSize = 64;

	// ATAPI drives sit on the buses -100 (controller 0) to -103 (controller
	// 3), target 0 for the master and 1 for the slave.
	static constexpr int32 kFirstAtapiBus = -103;
	static constexpr int32 kLastAtapiBus = -100;

	// Takes over `rawDescriptor` (a descriptor of dev_open, or -1) and copies
	// the 56 inquiry bytes (zeros when `inquiry` is null). Opens the drive's
	// system device file read-only: the ATAPI path of its controller and
	// position for buses -100 to -103, else "/dev/disk/scsi/<bus>/<target>/
	// <lun>/raw"; a failed open is a fatal assertion ("fdBEOS >= 0"). The
	// device has no driver until SetDriver (or Init) binds one.
	CDevice(int32 bus, int32 target, int32 logicalUnit, int rawDescriptor, const SCSI_INQUIRY* inquiry);
	// Closes both descriptors (when valid) and deletes the driver record
	// through its virtual destructor; the add-on that made it must still be
	// loaded.
	~CDevice();

	CDevice(const CDevice&) = delete;
	CDevice& operator=(const CDevice&) = delete;

	// --- Address and identity -------------------------------------------

	int32 GetBus() const;
	int32 GetTarget() const;
	int32 GetLogicalUnit() const;
	// The copy of the inquiry data (56 bytes); valid for the device's life.
	const SCSI_INQUIRY* GetInquiry() const;
	// Inquiry byte 3, bits 0-3.
	int32 GetResponseDataFormat() const;

	// Inquiry bytes 8-15, 16-31 and 32-35, each cut at its first zero byte
	// and without trailing blanks. Valid for the device's life.
	const char* GetVendor() const;
	const char* GetProduct() const;
	const char* GetRevision() const;
	// The display name: the vendor with each blank-separated word
	// capitalised (first letter upper case, the rest lower case), a blank,
	// then the product. Window titles and messages use it.
	const char* GetDeviceName() const;
	// Overwrites the display name (cut to kNameSize - 1 bytes; null is "").
	// Only the thread that set up the devices may call it.
	void SetDeviceName(const char* name);
	// "%02i%02i%02i%s%s" of bus, target, logical unit, vendor and product:
	// the key of the drive's settings record, stable for a drive at the same
	// address.
	const char* GetUniqueDeviceName() const;

	// --- Descriptors ----------------------------------------------------

	// The raw device descriptor (SCSI commands with B_RAW_DEVICE_COMMAND),
	// -1 when there is none.
	int GetRawDescriptor() const;
	// The system device file (audio reads through the operating system's CD
	// driver), -1 when it could not be opened.
	int GetSystemDescriptor() const;

	// A number that names this object for the whole run and is never given
	// to another CDevice (state kept about a drive elsewhere is keyed by it,
	// so a later device at the same address inherits nothing).
	uint64 GetInstanceId() const;

	// --- Properties -----------------------------------------------------

	// The drive is on an ATAPI bus (-100 to -103).
	bool IsAtapi() const;
	// Audio data from and to the drive are little-endian: true unless the
	// driver record has F_BIGENDIAN (true while no driver is bound).
	bool IsLittleEndian() const;
	// Every command of this drive is logged (with its duration) when set;
	// discovery sets it from bit 3 (value 8) of g_DebugFlags. Any thread.
	bool IsDebugEnabled() const;
	void EnableDebug(bool enable);

	// --- Driver record --------------------------------------------------

	// Binds `driver` (may be null) and takes it over; the previous record is
	// deleted through its virtual destructor. Sets the ATAPI and byte-order
	// properties from the address and the record's flags. Called while the
	// device is set up, before any other thread uses it.
	void SetDriver(CDriver* driver);
	// The bound record, or null. Any thread may call through its slots.
	CDriver* GetDriver() const;

	// --- Table of contents ----------------------------------------------

	// The cached table of contents of the disc in the drive; callers take its
	// own lock around every access. Never null.
	CToc* GetToc() const;

	// Builds the names of the inquiry data into the buffers (of the sizes
	// above): vendor, product, revision, display name and unique name. The
	// constructor uses it; tests call it directly.
	static void MakeNames(const SCSI_INQUIRY& inquiry, int32 bus, int32 target, int32 logicalUnit,
		char* vendor, char* product, char* revision, char* displayName, char* uniqueName);
	// The system device file of a drive at that address.
	static void MakeSystemDevicePath(int32 bus, int32 target, int32 logicalUnit, char* path, size_t size);

	// --- Settings record and title store ----------------------------------

	// Binds `driver` and `settings` (both may be null; the device takes both
	// over and deletes the previous ones). A generic MMC record
	// (F_GENERIC_DRIVER without F_GENERIC_READONLY) is completed from the
	// drive's capability page: flags and speed tables. Then reads the
	// drive's FUA support and applies the settings to the drive. Called on
	// the thread that sets the devices up; may be called again to replace
	// both records.
	void Init(CDriver* driver, CPreference* settings);
	// The per-drive settings record (null until Init). Its keys are those of
	// CreateDevicePreference (devices.h).
	CPreference* GetPreference() const;
	// The names of known discs; used by the update thread under the CToc
	// lock. Never null.
	CCdInfo* GetCdInfo() const;

	// Writes the settings to the drive: the spin-down timer of the CD
	// parameters page (unless the setting is -1), and audio play that
	// returns at once and crosses track boundaries (CD audio control page).
	// Failures are traced and leave the drive's own settings.
	void ApplyPreference();

	// --- MMC adaptation of generic records --------------------------------

	// Reads the capabilities page (2Ah). True when it was read; each
	// non-null pointer then receives its capability.
	bool GetMmcCapabilities(bool* audioReading, bool* cdrWriting, bool* cdrwWriting, bool* testWriting,
		bool* isrcReading, bool* mcnReading, bool* audioAccurate);
	// Adds the flags of the drive's capabilities to a generic record. False
	// when the capabilities page cannot be read.
	bool AdjustMmcFlags();
	// Builds the record's three speed tables by trying every whole speed on
	// the drive, printing what it finds; the tables belong to the device.
	// False (the record's own tables stay) when the capabilities page
	// cannot be read.
	bool AdjustMmcDriverSpeedTable();
	// The writing supports the FUA bit (read by Init).
	bool SupportsFua() const;

	// --- Exclusive use ----------------------------------------------------

	// Takes the drive for `owner` without waiting: true when it was free.
	// Otherwise copies the current owner's name into `currentOwner` (at most
	// `size` bytes with the terminating zero; may be null). Any thread.
	bool LockDevice(const char* owner, char* currentOwner, size_t size);
	// Frees the drive taken with LockDevice.
	void UnlockDevice();

	// --- Listeners and the update thread ----------------------------------

	// Adds `listener` to the lists whose flag is set: disc inserted, disc
	// removed, every poll, table of contents changed. A listener joining
	// the inserted list while a disc is present gets M_NOTIFY_CD_INSERTED
	// at once. The first listener of the first three lists starts the
	// update thread and returns after its first poll. Any thread but the
	// update thread.
	void Attach(const BMessenger& listener, bool inserted, bool removed, bool update, bool tocChange);
	// Removes `listener` from every list; the update thread ends when the
	// first three lists are empty. Any thread but the update thread.
	void Detach(const BMessenger& listener);

	void StartUpdateThread();
	// Asks the update thread to end, waits for it and saves the disc's
	// names. Nothing when it is not running.
	void EndUpdateThread();
	// Polling pauses while DisableUpdates calls outnumber EnableUpdates
	// calls; they bracket command sequences that must not interleave with a
	// poll. A poll already running finishes. Any thread.
	void EnableUpdates();
	void DisableUpdates();
	bool IsUpdateThreadRunning() const;
	// A run holds the drive: DisableUpdates calls outnumber EnableUpdates.
	bool AreUpdatesDisabled() const { return fUpdatesDisabled.load() > 0; }
	// The update thread's name: "update " + vendor + " " + product, at most
	// 31 characters.
	std::string UpdateThreadName() const;

	// Sends M_NOTIFY_TOC_UPDATE with int32 "track" to the TOC-change list.
	void PostTocUpdate(int track);

	// Empties the table of contents and reads it again (its names are not
	// reloaded). Returns the driver's result.
	bool ReadToc();

	// Disc state as the update thread saw it last. Any thread.
	bool IsDiscPresent() const;
	int32 GetCurrentTrack() const;
	int32 GetRelativePosition() const;   // frames (sector address + 150)
	int32 GetAbsolutePosition() const;
	bool IsPaused() const;

	// Reads the stored names of the disc into the table of contents and
	// fills the others from the disc's CD-Text. Names the user gave win
	// over CD-Text. The update thread calls it after reading the TOC.
	void LoadTocText();
	// Saves the names of the table of contents to the disc information
	// store. The update thread calls it when the disc went away.
	void SaveTocText();

	// --- Speeds -----------------------------------------------------------

	// The driver's SpeedSet / SpeedGet for one direction; `status` may be
	// null. Any thread (inside DisableUpdates/EnableUpdates).
	bool GetReadSpeed(float* factor, SCSI_STATUS* status);
	bool GetWriteSpeed(float* factor, SCSI_STATUS* status);
	bool SetReadSpeed(int speed, SCSI_STATUS* status);
	bool SetWriteSpeed(int speed, SCSI_STATUS* status);
	// Sets the saved speed again, when one was saved (true otherwise).
	// Setting a speed saves nothing, so a reset after a set does nothing.
	bool ResetReadSpeed(SCSI_STATUS* status);
	bool ResetWriteSpeed(SCSI_STATUS* status);

	// Waits until the drive is ready: TEST UNIT READY, then 300 ms pauses,
	// until it succeeds (true) or `timeout` microseconds have passed since
	// the start (false; a time-out of 0 still tests once).
	bool WaitUnitReady(bigtime_t timeout, SCSI_STATUS* status);

private:
	static bool IsAtapiBus(int32 bus);

	// Address and identity.
	int32 fBus;
	int32 fTarget;
	int32 fLogicalUnit;
	std::unique_ptr<SCSI_INQUIRY> fInquiry;
	int32 fResponseDataFormat;
	char fVendor[kVendorSize];
	char fProduct[kProductSize];
	char fRevision[kRevisionSize];
	char fDeviceName[kNameSize];
	char fUniqueDeviceName[kNameSize];

	// Descriptors.
	int fRawDescriptor;
	uint64 fInstanceId;
	int fSystemDescriptor;

	// Properties.
	bool fIsAtapi;
	bool fLittleEndian;
	std::atomic<bool> fDebug;

	// Owned records.
	std::unique_ptr<CDriver> fDriver;
	std::unique_ptr<CToc> fToc;

	enum ListenerList { kInsertedList, kRemovedList, kUpdateList, kTocList };

	static status_t _UpdateThread(void* data);
	// The thread's body: polls the drive until a stop is requested.
	void UpdateThread();
	void ClearPosition();
	// Posts `what` to every listener of `list` (M_NOTIFY_TOC_UPDATE with
	// "track"); never waits long for a full queue.
	void Notify(ListenerList list, uint32 what, int32 track);

	// Settings, title store and what Init read.
	std::unique_ptr<CPreference> fPreference;
	std::unique_ptr<CCdInfo> fCdInfo;
	bool fSupportsFua;
	int32 fSavedReadSpeed;
	int32 fSavedWriteSpeed;
	// Speed tables built for a generic record, which points at them.
	std::unique_ptr<SPEED_INFO[]> fReadSpeedTable;
	std::unique_ptr<SPEED_INFO[]> fWriteSpeedCdrTable;
	std::unique_ptr<SPEED_INFO[]> fWriteSpeedCdrwTable;

	// Exclusive use: the data lock guards fOwner.
	sem_id fDataLock;
	sem_id fDeviceLock;
	char fOwner[256];

	// Disc state, written by the update thread only.
	std::atomic<int32> fCurrentTrack;
	std::atomic<int32> fRelativePosition;
	std::atomic<int32> fAbsolutePosition;
	std::atomic<bool> fPaused;
	std::atomic<bool> fDiscPresent;
	std::atomic<bool> fStopRequest;
	std::atomic<bool> fPolled;
	thread_id fUpdateThread;
	std::atomic<int32> fUpdatesDisabled;

	// Listeners; fAttachLock serialises Attach and Detach (and with them the
	// start and end of the update thread), fListenerLock guards the lists.
	std::mutex fAttachLock;
	std::mutex fListenerLock;
	std::vector<BMessenger> fInsertedListeners;
	std::vector<BMessenger> fRemovedListeners;
	std::vector<BMessenger> fUpdateListeners;
	std::vector<BMessenger> fTocListeners;
};
