// Decoding and encoding sense data; the sense action table.
#include "kit/device/ScsiSense.h"

#include "kit/support/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace {

// Descriptor types of descriptor-format sense.
constexpr uint8 kDescriptorInformation = 0x00;
constexpr uint8 kDescriptorSenseKeySpecific = 0x02;

void DecodeSenseKeySpecific(const uint8* sks, SScsiSense* sense)
{
	memcpy(sense->senseKeySpecific, sks, 3);
	sense->senseKeySpecificValid = (sks[0] & 0x80) != 0;
	if (!sense->senseKeySpecificValid)
		return;
	switch (sense->code.key) {
		case kSenseKeyIllegalRequest:
			sense->fieldPointerValid = true;
			sense->fieldInCommand = (sks[0] & 0x40) != 0;
			sense->fieldPointer = GetBe16(sks + 1);
			break;
		case kSenseKeyNotReady:
		case kSenseKeyNoSense:
			sense->progressValid = true;
			sense->progress = GetBe16(sks + 1);
			break;
		default:
			break;
	}
}

void DecodeFixed(const uint8* data, size_t size, SScsiSense* sense)
{
	// The additional length counts the bytes after byte 7.
	size_t usable = size;
	if (size >= 8)
		usable = std::min(size, size_t(8) + data[7]);
	if (usable >= 3)
		sense->code.key = data[2] & 0x0F;
	if (usable >= 7 && (data[0] & 0x80) != 0) {
		sense->informationValid = true;
		sense->information = GetBe32(data + 3);
	}
	if (usable >= 13)
		sense->code.asc = data[12];
	if (usable >= 14)
		sense->code.ascq = data[13];
	if (usable >= 18)
		DecodeSenseKeySpecific(data + 15, sense);
}

void DecodeDescriptors(const uint8* data, size_t size, SScsiSense* sense)
{
	if (size >= 2)
		sense->code.key = data[1] & 0x0F;
	if (size >= 3)
		sense->code.asc = data[2];
	if (size >= 4)
		sense->code.ascq = data[3];
	if (size < 8)
		return;
	size_t end = std::min(size, size_t(8) + data[7]);
	size_t at = 8;
	while (at + 2 <= end) {
		uint8 type = data[at];
		size_t length = size_t(data[at + 1]) + 2;
		if (at + length > end)
			break;
		const uint8* d = data + at;
		if (type == kDescriptorInformation && length >= 12) {
			sense->informationValid = (d[2] & 0x80) != 0;
			sense->information = (uint64(GetBe32(d + 4)) << 32) | GetBe32(d + 8);
		} else if (type == kDescriptorSenseKeySpecific && length >= 7) {
			DecodeSenseKeySpecific(d + 4, sense);
		}
		at += length;
	}
}

}   // namespace

SScsiSense DecodeSense(const uint8* data, size_t size)
{
	SScsiSense sense;
	if (data == nullptr || size == 0)
		return sense;
	uint8 response = data[0] & 0x7F;
	switch (response) {
		case kSenseFixedCurrent:
		case kSenseFixedDeferred:
			sense.valid = true;
			sense.deferred = response == kSenseFixedDeferred;
			DecodeFixed(data, size, &sense);
			break;
		case kSenseDescriptorCurrent:
		case kSenseDescriptorDeferred:
			sense.valid = true;
			sense.descriptorFormat = true;
			sense.deferred = response == kSenseDescriptorDeferred;
			DecodeDescriptors(data, size, &sense);
			break;
		default:
			break;
	}
	return sense;
}

void EncodeFixedSense(const SScsiSense& sense, uint8* out)
{
	memset(out, 0, kFixedSenseLength);
	out[0] = sense.deferred ? kSenseFixedDeferred : kSenseFixedCurrent;
	if (sense.informationValid) {
		out[0] |= 0x80;
		SetBe32(out + 3, uint32(sense.information));
	}
	out[2] = sense.code.key & 0x0F;
	out[7] = kFixedSenseLength - 8;
	out[12] = sense.code.asc;
	out[13] = sense.code.ascq;
	if (sense.fieldPointerValid) {
		out[15] = uint8(0x80 | (sense.fieldInCommand ? 0x40 : 0x00));
		SetBe16(out + 16, sense.fieldPointer);
	} else if (sense.progressValid) {
		out[15] = 0x80;
		SetBe16(out + 16, sense.progress);
	} else if (sense.senseKeySpecificValid) {
		memcpy(out + 15, sense.senseKeySpecific, 3);
		out[15] |= 0x80;
	}
}

sense_action ActionForSense(const SSenseCode& code, std::span<const SSenseCode> alsoWait)
{
	struct SRule {
		uint8 key;
		uint8 asc;
		int16 ascq;   // -1: any qualifier
		sense_action action;
	};
	static constexpr SRule kRules[] = {
		{kSenseKeyUnitAttention, 0x28, -1, sense_action::kRetry},
		{kSenseKeyUnitAttention, 0x29, -1, sense_action::kRetry},
		{kSenseKeyNotReady, 0x04, 0x01, sense_action::kWait},
		{kSenseKeyNotReady, 0x04, 0x08, sense_action::kWait},
	};
	for (const SRule& rule : kRules) {
		if (rule.key == code.key && rule.asc == code.asc && (rule.ascq < 0 || rule.ascq == code.ascq))
			return rule.action;
	}
	for (const SSenseCode& busy : alsoWait) {
		if (SameCondition(code, busy, false))
			return sense_action::kWait;
	}
	return sense_action::kFail;
}
