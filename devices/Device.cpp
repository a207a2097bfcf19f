#include "devices/Device.h"

#include "disc/CdInfo.h"
#include "disc/Toc.h"
#include "frame/Preference.h"
#include "driver/driverbaseclass.h"
#include "kit/device/RawDevice.h"

#include <fcntl.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// Copies an inquiry field, cut at its first zero byte, without trailing
// blanks.
void CopyField(const char* field, size_t width, char* out)
{
	size_t n = 0;
	while (n < width && field[n] != '\0')
		n++;
	while (n > 0 && field[n - 1] == ' ')
		n--;
	memcpy(out, field, n);
	out[n] = '\0';
}

uint64 NextInstanceId()
{
	static std::atomic<uint64> sNext {1};
	return sNext.fetch_add(1, std::memory_order_relaxed);
}

}   // namespace

CDevice::CDevice(int32 bus, int32 target, int32 logicalUnit, int rawDescriptor, const SCSI_INQUIRY* inquiry)
	:
	fBus(bus),
	fTarget(target),
	fLogicalUnit(logicalUnit),
	fInquiry(std::make_unique<SCSI_INQUIRY>()),
	fResponseDataFormat(0),
	fRawDescriptor(rawDescriptor),
	fInstanceId(NextInstanceId()),
	fSystemDescriptor(-1),
	fIsAtapi(IsAtapiBus(bus)),
	fLittleEndian(true),
	fDebug(false),
	fToc(std::make_unique<CToc>()),
	fCdInfo(std::make_unique<CCdInfo>()),
	fSupportsFua(false),
	fSavedReadSpeed(-1),
	fSavedWriteSpeed(-1),
	fDataLock(create_sem(1, "CDevice::semDataLock")),
	fDeviceLock(create_sem(1, "CDevice::semDeviceLock")),
	fCurrentTrack(0),
	fRelativePosition(0),
	fAbsolutePosition(0),
	fPaused(false),
	fDiscPresent(false),
	fStopRequest(false),
	fPolled(false),
	fUpdateThread(-1),
	fUpdatesDisabled(0)
{
	fOwner[0] = '\0';
	if (inquiry != nullptr)
		memcpy(fInquiry.get(), inquiry, sizeof(SCSI_INQUIRY));
	else
		memset(fInquiry.get(), 0, sizeof(SCSI_INQUIRY));

	MakeNames(*fInquiry, bus, target, logicalUnit, fVendor, fProduct, fRevision, fDeviceName, fUniqueDeviceName);
	CDebugFunctionTracer::Trace("CDevice::CDevice(), Vendor = \"%s\", Product = \"%s\", Revision = \"%s\"\n",
		fVendor, fProduct, fRevision);

	char path[128];
	MakeSystemDevicePath(bus, target, logicalUnit, path, sizeof(path));
	fSystemDescriptor = dev_open(path, O_RDONLY);
	// The assertion names the place users report: file "Device", line 83.
	int fdBEOS = fSystemDescriptor;
	if (!(fdBEOS >= 0))
		DebugAssert("Device", 83, "fdBEOS >= 0");

	fResponseDataFormat = fInquiry->ResponseDataFormat & 0x0F;
}

CDevice::~CDevice()
{
	// Listeners should have detached; a thread still running must not
	// outlive the object it polls.
	EndUpdateThread();
	if (fRawDescriptor >= 0)
		dev_close(fRawDescriptor);
	if (fSystemDescriptor >= 0)
		dev_close(fSystemDescriptor);
	// The record's destructor lives in the add-on that made it.
	fDriver.reset();
	delete_sem(fDataLock);
	delete_sem(fDeviceLock);
}

bool CDevice::IsAtapiBus(int32 bus)
{
	return bus >= kFirstAtapiBus && bus <= kLastAtapiBus;
}

void CDevice::MakeNames(const SCSI_INQUIRY& inquiry, int32 bus, int32 target, int32 logicalUnit, char* vendor,
	char* product, char* revision, char* displayName, char* uniqueName)
{
	CopyField(inquiry.VendorIdentification, sizeof(inquiry.VendorIdentification), vendor);
	CopyField(inquiry.ProductIdentification, sizeof(inquiry.ProductIdentification), product);
	CopyField(inquiry.ProductRevisionLevel, sizeof(inquiry.ProductRevisionLevel), revision);

	char capitalised[kVendorSize];
	bool wordStart = true;
	size_t i = 0;
	for (; vendor[i] != '\0'; i++) {
		unsigned char c = static_cast<unsigned char>(vendor[i]);
		capitalised[i] = static_cast<char>(wordStart ? toupper(c) : tolower(c));
		wordStart = c == ' ';
	}
	capitalised[i] = '\0';
	snprintf(displayName, kNameSize, "%s %s", capitalised, product);
	snprintf(uniqueName, kNameSize, "%02i%02i%02i%s%s", static_cast<int>(bus), static_cast<int>(target),
		static_cast<int>(logicalUnit), vendor, product);
}

void CDevice::MakeSystemDevicePath(int32 bus, int32 target, int32 logicalUnit, char* path, size_t size)
{
	if (IsAtapiBus(bus)) {
		snprintf(path, size, "/dev/disk/ide/atapi/%d/%s/0/raw", static_cast<int>(kLastAtapiBus - bus),
			target == 0 ? "master" : "slave");
	} else {
		snprintf(path, size, "/dev/disk/scsi/%d/%d/%d/raw", static_cast<int>(bus), static_cast<int>(target),
			static_cast<int>(logicalUnit));
	}
}

int32 CDevice::GetBus() const
{
	return fBus;
}

int32 CDevice::GetTarget() const
{
	return fTarget;
}

int32 CDevice::GetLogicalUnit() const
{
	return fLogicalUnit;
}

const SCSI_INQUIRY* CDevice::GetInquiry() const
{
	return fInquiry.get();
}

int32 CDevice::GetResponseDataFormat() const
{
	return fResponseDataFormat;
}

const char* CDevice::GetVendor() const
{
	return fVendor;
}

const char* CDevice::GetProduct() const
{
	return fProduct;
}

const char* CDevice::GetRevision() const
{
	return fRevision;
}

const char* CDevice::GetDeviceName() const
{
	return fDeviceName;
}

void CDevice::SetDeviceName(const char* name)
{
	snprintf(fDeviceName, sizeof(fDeviceName), "%s", name != nullptr ? name : "");
}

const char* CDevice::GetUniqueDeviceName() const
{
	return fUniqueDeviceName;
}

int CDevice::GetRawDescriptor() const
{
	return fRawDescriptor;
}

int CDevice::GetSystemDescriptor() const
{
	return fSystemDescriptor;
}

uint64 CDevice::GetInstanceId() const
{
	return fInstanceId;
}

bool CDevice::IsAtapi() const
{
	return fIsAtapi;
}

bool CDevice::IsLittleEndian() const
{
	return fLittleEndian;
}

bool CDevice::IsDebugEnabled() const
{
	return fDebug.load(std::memory_order_relaxed);
}

void CDevice::EnableDebug(bool enable)
{
	fDebug.store(enable, std::memory_order_relaxed);
}

void CDevice::SetDriver(CDriver* driver)
{
	if (driver != fDriver.get())
		fDriver.reset(driver);
	fIsAtapi = IsAtapiBus(fBus);
	fLittleEndian = driver == nullptr || (driver->Flags & F_BIGENDIAN) == 0;
}

CDriver* CDevice::GetDriver() const
{
	return fDriver.get();
}

CToc* CDevice::GetToc() const
{
	return fToc.get();
}
