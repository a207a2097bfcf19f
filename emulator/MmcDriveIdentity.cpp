#include "emulator/MmcDrive.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace mmc;

CMmcDrive::SResult CMmcDrive::DoTestUnitReady(const SContext&)
{
	return SResult();   // the adapter's part has checked the medium
}

CMmcDrive::SResult CMmcDrive::DoRequestSense(const SContext& c)
{
	SResult r;
	const SRequestSenseFields fields = DecodeRequestSense(c.cdb);
	if (fields.descriptorFormat) {   // descriptor format is not offered
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	SSense sense;
	bigtime_t now = fClock->Now();
	if (fPendingSense.IsError()) {
		sense = fPendingSense;
		fPendingSense = SSense();
	} else if (fUnitAttention) {
		sense = kSenseMediumChanged;
		fUnitAttention = false;
	} else if (!MediumReady()) {
		sense = NotReadySense();
	} else if (fPlayback.State(now) == CAudioPlayback::kPlaying) {
		sense = kSenseAudioPlayInProgress;
	} else if (fPlayback.State(now) == CAudioPlayback::kPaused) {
		sense = Sense(kSenseKeyNoSense, 0x00, 0x12);
	}
	EncodeFixedSense(sense, fResponse.data());
	return Respond(c, fields.allocation, kSenseLength);
}

CMmcDrive::SResult CMmcDrive::DoInquiry(const SContext& c)
{
	SResult r;
	const SInquiryFields fields = DecodeInquiry(c.cdb);
	bool evpd = fields.vitalProductData;
	uint8 page = fields.page;
	size_t allocation = fields.allocation;
	uint8* out = fResponse.data();
	if (fields.otherFlags != 0) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (!evpd && page != 0) {
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	if (evpd) {
		std::memset(out, 0, 64);
		out[0] = fConfig.peripheralType;
		out[1] = page;
		if (page == 0x00) {
			out[3] = 2;
			out[4] = 0x00;
			out[5] = 0x80;
			return Respond(c, allocation, 6);
		}
		if (page == 0x80) {
			static const char kSerial[] = "TWVIRTUAL";
			out[3] = uint8(sizeof(kSerial) - 1);
			std::memcpy(out + 4, kSerial, sizeof(kSerial) - 1);
			return Respond(c, allocation, 4 + sizeof(kSerial) - 1);
		}
		r.sense = SenseInvalidCdbField(2);
		return r;
	}
	constexpr size_t kLength = 96;
	std::memset(out, 0, kLength);
	out[0] = fConfig.peripheralType & 0x1F;
	out[1] = 0x80;                               // removable medium
	out[2] = fConfig.atapi ? 0x00 : 0x05;        // version
	out[3] = 0x02;                               // response data format
	out[4] = uint8(kLength - 5);                 // additional length
	auto pad = [](uint8* field, const std::string& text, size_t width) {
		std::memset(field, ' ', width);
		std::memcpy(field, text.data(), std::min(text.size(), width));
	};
	pad(out + 8, fConfig.vendor, 8);
	pad(out + 16, fConfig.product, 16);
	pad(out + 32, fConfig.revision, 4);
	pad(out + 36, "Tarnwick virtual", 20);
	return Respond(c, allocation, kLength);
}

CMmcDrive::SResult CMmcDrive::DoStartStopUnit(const SContext& c)
{
	SResult r;
	bigtime_t now = fClock->Now();
	const SStartStopUnitFields fields = DecodeStartStopUnit(c.cdb);
	uint8 power = fields.powerCondition;
	bool loadEject = fields.loadEject;
	bool start = fields.start;
	if (power != 0)
		return r;
	if (loadEject) {
		if (start) {
			CloseTray();
		} else {
			r.sense = EjectTray();
		}
	} else if (start) {
		if (!MediumReady())
			r.sense = NotReadySense();
	} else {
		fPlayback.Stop(now);
	}
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPreventAllow(const SContext& c)
{
	SResult r;
	bool prevent = DecodePreventAllowMediumRemoval(c.cdb);
	if (prevent && !fConfig.capabilities.lock) {   // a drive that cannot lock its tray
		r.sense = SenseInvalidCdbField(4);
		return r;
	}
	fPrevent = prevent;
	fModePages.SetLocked(fPrevent);
	return r;
}

SSense CMmcDrive::EjectTray()
{
	if (!fConfig.capabilities.eject)
		return SenseInvalidCdbField(4);
	if (fPrevent)
		return kSenseRemovalPrevented;
	fPlayback.Stop(fClock->Now());
	if (fMedium != nullptr && !fTrayOpen)
		QueueMediaEvent(kMediaRemoval);
	fTrayOpen = true;
	TrayOpened();
	return kSenseNone;
}

void CMmcDrive::CloseTray()
{
	if (!fTrayOpen)
		return;
	fTrayOpen = false;
	TrayClosed();
	fUnitAttention = fMedium != nullptr;
	if (fMedium != nullptr)
		QueueMediaEvent(kMediaNew);
}

void CMmcDrive::QueueMediaEvent(media_event event)
{
	if (fMediaEventCount == kMediaEventCapacity) {
		std::copy(fMediaEvents.begin() + 1, fMediaEvents.end(), fMediaEvents.begin());
		fMediaEventCount--;
	}
	fMediaEvents[fMediaEventCount++] = event;
}

uint16 CMmcDrive::CurrentProfile() const
{
	if (!MediumReady())
		return kProfileNone;
	const SDriveCapabilities& caps = fConfig.capabilities;
	if (fMedium->Kind() == CDiscImage::kBlankCdRw && caps.writeCdRw)
		return kProfileCdRw;
	if (fMedium->Kind() == CDiscImage::kBlankCdR && caps.writeCdR)
		return kProfileCdR;
	return kProfileCdRom;   // a reader sees every CD as CD-ROM
}

namespace {

// Starts a feature descriptor at `out`: code, version, persistent and
// current bits, additional length. Returns the descriptor's length.
size_t Feature(uint8* out, uint16 code, uint8 version, bool persistent, bool current, uint8 additional)
{
	std::memset(out, 0, 4 + size_t(additional));
	SetBe16(out, code);
	out[2] = uint8(version << 2 | (persistent ? 0x02 : 0x00) | (current ? 0x01 : 0x00));
	out[3] = additional;
	return 4 + size_t(additional);
}

}   // namespace

// GET CONFIGURATION: the feature header with the current profile, then the
// features from the starting feature number on: all of them (RT 0), the
// current ones (RT 1), or the one named (RT 2).
CMmcDrive::SResult CMmcDrive::DoGetConfiguration(const SContext& c)
{
	SResult r;
	const SGetConfigurationFields fields = DecodeGetConfiguration(c.cdb);
	uint8 requestType = fields.requestType;
	uint16 startingFeature = fields.startingFeature;
	size_t allocation = fields.allocation;
	if (requestType == 3) {
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const SDriveCapabilities& caps = fConfig.capabilities;
	const uint16 profile = CurrentProfile();
	const bool medium = profile != kProfileNone;
	const bool writer = caps.writeCdR || caps.writeCdRw;
	const bool writable = medium && profile != kProfileCdRom && fMedium->IsBlank();

	uint8 feature[64];
	uint8* out = fResponse.data();
	size_t length = 8;
	std::memset(out, 0, length);
	SetBe16(out + 6, profile);
	auto add = [&](const uint8* descriptor, size_t size) {
		uint16 code = GetBe16(descriptor);
		bool current = (descriptor[2] & 0x01) != 0;
		if (code < startingFeature || (requestType == 1 && !current) || (requestType == 2 && code != startingFeature))
			return;
		if (length + size <= fResponse.size()) {
			std::memcpy(out + length, descriptor, size);
			length += size;
		}
	};

	// 0000h profile list: the profiles the drive knows, highest first.
	{
		uint16 profiles[3];
		size_t n = 0;
		if (caps.writeCdRw)
			profiles[n++] = kProfileCdRw;
		if (caps.writeCdR)
			profiles[n++] = kProfileCdR;
		profiles[n++] = kProfileCdRom;
		size_t size = Feature(feature, 0x0000, 0, true, true, uint8(4 * n));
		for (size_t i = 0; i < n; i++) {
			SetBe16(feature + 4 + 4 * i, profiles[i]);
			feature[4 + 4 * i + 2] = profiles[i] == profile ? 0x01 : 0x00;
		}
		add(feature, size);
	}
	// 0001h core: the physical interface (1 SCSI, 2 ATAPI).
	{
		size_t size = Feature(feature, 0x0001, 1, true, true, 8);
		SetBe32(feature + 4, fConfig.atapi ? 2 : 1);
		add(feature, size);
	}
	// 0002h morphing: operational change events, polled only.
	{
		size_t size = Feature(feature, 0x0002, 1, true, true, 4);
		feature[4] = 0x02;
		add(feature, size);
	}
	// 0003h removable medium: a tray, with eject and lock as the drive has them.
	{
		size_t size = Feature(feature, 0x0003, 0, true, true, 4);
		feature[4] = uint8(0x20 | (caps.eject ? 0x08 : 0x00) | (fPrevent ? 0x04 : 0x00) | (caps.lock ? 0x01 : 0x00));
		add(feature, size);
	}
	// 001Eh CD read: CD-Text and C2 error pointers.
	{
		size_t size = Feature(feature, 0x001E, 2, false, medium, 4);
		feature[4] = 0x03;
		add(feature, size);
	}
	// 002Dh track-at-once and 002Eh session-at-once on a blank disc: raw
	// 2352-byte audio (data type 0), test write and BUF as page 2Ah says;
	// session at once writes CD-Text (R-W) when the drive is said to.
	if (writer) {
		uint8 common = uint8((caps.bufferUnderrunFree ? 0x40 : 0x00) | (caps.testWrite ? 0x04 : 0x00)
			| (caps.writeCdRw ? 0x02 : 0x00));
		size_t size = Feature(feature, 0x002D, 2, false, writable, 4);
		feature[4] = common;
		SetBe16(feature + 6, 0x0001);
		add(feature, size);
		size = Feature(feature, 0x002E, 0, false, writable, 4);
		feature[4] = uint8(common | 0x20 | (caps.cdTextWrite ? 0x01 : 0x00));   // SAO, R-W in the lead-in
		SetBe24(feature + 5, kCueSheetCapacity);
		add(feature, size);
	}
	// 0103h CD external audio play: separate volume and mute, scan.
	if (caps.audioPlay) {
		size_t size = Feature(feature, 0x0103, 0, false, medium, 4);
		feature[4] = 0x07;
		SetBe16(feature + 6, 256);
		add(feature, size);
	}
	SetBe32(out, uint32(length - 4));
	return Respond(c, allocation, length);
}

// GET EVENT STATUS NOTIFICATION, polled: the oldest media event (media class
// only), or "no change" with the tray and medium as they are now.
CMmcDrive::SResult CMmcDrive::DoGetEventStatusNotification(const SContext& c)
{
	SResult r;
	const SGetEventStatusFields fields = DecodeGetEventStatusNotification(c.cdb);
	if (!fields.polled) {   // asynchronous notification is not offered
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	constexpr uint8 kMediaClass = 4;
	constexpr uint8 kSupportedClasses = 1 << kMediaClass;
	uint8 requested = fields.classRequest;
	size_t allocation = fields.allocation;
	uint8* out = fResponse.data();
	std::memset(out, 0, 8);
	out[3] = kSupportedClasses;
	if ((requested & kSupportedClasses) == 0) {
		out[2] = 0x80;   // no event available of the classes asked for
		SetBe16(out, 2);
		return Respond(c, allocation, 4);
	}
	media_event event = kMediaNoChange;
	if (fMediaEventCount > 0 && allocation >= 8) {   // an event is taken only when it is delivered
		event = fMediaEvents[0];
		std::copy(fMediaEvents.begin() + 1, fMediaEvents.end(), fMediaEvents.begin());
		fMediaEventCount--;
	}
	SetBe16(out, 6);
	out[2] = kMediaClass;
	out[4] = event;
	out[5] = uint8((MediumReady() ? 0x02 : 0x00) | (fTrayOpen ? 0x01 : 0x00));
	return Respond(c, allocation, 8);
}

CMmcDrive::SResult CMmcDrive::DoModeSelect(const SContext& c)
{
	SResult r;
	const SModeSelectFields fields = DecodeModeSelect10(c.cdb);
	size_t length = fields.length;
	if (!fields.pageFormat) {   // page format is required
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select(c.data, length, fields.save);
	r.transferred = length;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoModeSense(const SContext& c)
{
	SResult r;
	const SModeSenseFields fields = DecodeModeSense10(c.cdb);
	auto control = CModePages::page_control(fields.pageControl);
	size_t length = 0;
	r.sense = fModePages.Sense(control, fields.page, fields.subpage, fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, fields.allocation, length);
}

CMmcDrive::SResult CMmcDrive::DoModeSense6(const SContext& c)
{
	SResult r;
	const SModeSenseFields fields = DecodeModeSense6(c.cdb);
	auto control = CModePages::page_control(fields.pageControl);
	size_t length = 0;
	r.sense = fModePages.Sense6(control, fields.page, fields.subpage, fields.disableBlockDescriptors, MediumBlocks(),
		fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, fields.allocation, length);
}

CMmcDrive::SResult CMmcDrive::DoModeSelect6(const SContext& c)
{
	SResult r;
	const SModeSelectFields fields = DecodeModeSelect6(c.cdb);
	size_t length = fields.length;
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select6(c.data, length, fields.save);
	r.transferred = length;
	return r;
}

uint16 CMmcDrive::ClampSpeed(uint32 requested, const std::vector<uint16>& speeds) const
{
	if (speeds.empty())
		return 0;
	if (requested == 0xFFFF)
		return speeds.back();
	uint16 chosen = speeds.front();
	for (uint16 speed : speeds)
		if (speed <= requested)
			chosen = speed;
	return chosen;
}

CMmcDrive::SResult CMmcDrive::DoSetCdSpeed(const SContext& c)
{
	SResult r;
	const SSetCdSpeedFields fields = DecodeSetCdSpeed(c.cdb);
	if (fields.rotationControl > 1) {   // CLV or CAV
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const SDriveCapabilities& caps = fConfig.capabilities;
	uint16 read = ClampSpeed(fields.readSpeed, caps.readSpeeds);
	uint16 write = ClampSpeed(fields.writeSpeed, caps.writeSpeeds);
	fModePages.SetCurrentSpeeds(read, write);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsLoadUnload(const SContext& c)
{
	SResult r;
	if (DecodePhilipsMediumLoadUnload(c.cdb)) {
		r.sense = EjectTray();
	} else {
		CloseTray();
	}
	return r;
}
