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
	if ((c.cdb[1] & 0x01) != 0) {   // descriptor format is not offered
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
		sense = Sense(kNoSense, 0x00, 0x12);
	}
	EncodeFixedSense(sense, fResponse.data());
	return Respond(c, c.cdb[4], kSenseLength);
}

CMmcDrive::SResult CMmcDrive::DoInquiry(const SContext& c)
{
	SResult r;
	bool evpd = (c.cdb[1] & 0x01) != 0;
	uint8 page = c.cdb[2];
	size_t allocation = Get16(c.cdb + 3);
	uint8* out = fResponse.data();
	if ((c.cdb[1] & 0xFE) != 0) {
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
	uint8 power = c.cdb[4] >> 4;
	bool loadEject = (c.cdb[4] & 0x02) != 0;
	bool start = (c.cdb[4] & 0x01) != 0;
	if (power != 0)
		return r;
	if (loadEject) {
		if (start) {
			if (fTrayOpen) {
				fTrayOpen = false;
				TrayClosed();
				fUnitAttention = fMedium != nullptr;
			}
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
	bool prevent = (c.cdb[4] & 0x01) != 0;
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
	fTrayOpen = true;
	TrayOpened();
	return kSenseNone;
}

CMmcDrive::SResult CMmcDrive::DoModeSelect(const SContext& c)
{
	SResult r;
	size_t length = Get16(c.cdb + 7);
	if ((c.cdb[1] & 0x10) == 0) {   // page format is required
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select(c.data, length, (c.cdb[1] & 0x01) != 0);
	r.transferred = length;
	return r;
}

CMmcDrive::SResult CMmcDrive::DoModeSense(const SContext& c)
{
	SResult r;
	auto control = CModePages::page_control(c.cdb[2] >> 6);
	size_t length = 0;
	r.sense = fModePages.Sense(control, c.cdb[2] & 0x3F, c.cdb[3], fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, Get16(c.cdb + 7), length);
}

CMmcDrive::SResult CMmcDrive::DoModeSense6(const SContext& c)
{
	SResult r;
	auto control = CModePages::page_control(c.cdb[2] >> 6);
	bool disableBlockDescriptors = (c.cdb[1] & 0x08) != 0;
	size_t length = 0;
	r.sense = fModePages.Sense6(control, c.cdb[2] & 0x3F, c.cdb[3], disableBlockDescriptors, MediumBlocks(),
		fResponse.data(), fResponse.size(), &length);
	if (r.sense.IsError())
		return r;
	return Respond(c, c.cdb[4], length);
}

CMmcDrive::SResult CMmcDrive::DoModeSelect6(const SContext& c)
{
	SResult r;
	size_t length = c.cdb[4];
	if (length > c.dataLength) {
		r.sense = kSenseParameterListLength;
		return r;
	}
	r.sense = fModePages.Select6(c.data, length, (c.cdb[1] & 0x01) != 0);
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
	if ((c.cdb[1] & 0x03) > 1) {   // CLV or CAV
		r.sense = SenseInvalidCdbField(1);
		return r;
	}
	const SDriveCapabilities& caps = fConfig.capabilities;
	uint16 read = ClampSpeed(Get16(c.cdb + 2), caps.readSpeeds);
	uint16 write = ClampSpeed(Get16(c.cdb + 4), caps.writeSpeeds);
	fModePages.SetCurrentSpeeds(read, write);
	return r;
}

CMmcDrive::SResult CMmcDrive::DoPhilipsLoadUnload(const SContext& c)
{
	SResult r;
	if ((c.cdb[8] & 0x01) != 0) {
		r.sense = EjectTray();
	} else if (fTrayOpen) {
		fTrayOpen = false;
		TrayClosed();
		fUnitAttention = fMedium != nullptr;
	}
	return r;
}
