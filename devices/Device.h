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

#include <atomic>
#include <memory>

class CDriver;
class CToc;

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

	// --- Later layers ---------------------------------------------------
	// Settings record and title store, Init and ApplyPreference, exclusive
	// use (LockDevice/UnlockDevice), listeners and the update thread
	// (Attach/Detach, Start/EndUpdateThread, Enable/DisableUpdates),
	// PostTocUpdate, ReadToc, the speed functions, WaitUnitReady and the MMC
	// adaptation of generic records are added here.

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
	int fSystemDescriptor;

	// Properties.
	bool fIsAtapi;
	bool fLittleEndian;
	std::atomic<bool> fDebug;

	// Owned records.
	std::unique_ptr<CDriver> fDriver;
	std::unique_ptr<CToc> fToc;
};
