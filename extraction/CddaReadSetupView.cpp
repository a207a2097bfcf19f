// The logic of the "CD Reading Preferences" window.
#include "extraction/CddaReadSetupView.h"

#include "frame/Diagnostics.h"
#include "frame/Preference.h"
#include "kit/support/Message.h"

#include <algorithm>

namespace {

int32 Clamp(int32 value, int32 low, int32 high)
{
	return std::min(std::max(value, low), high);
}

}   // namespace

CCddaReadSetupView::CCddaReadSetupView(const char* deviceRecordName)
	: fDeviceRecordName(deviceRecordName != nullptr ? deviceRecordName : "")
{
	fDisplay.hasDevice = !fDeviceRecordName.empty();
	fDisplay.deviceRecordName = fDeviceRecordName;
}

CCddaReadSetupView::~CCddaReadSetupView() = default;

void CCddaReadSetupView::SetTarget(const BMessenger& target)
{
	fTarget = target;
}

void CCddaReadSetupView::AttachedToWindow()
{
	if (fPairs.empty())
		LoadFileFormats();
	Revert();
}

void CCddaReadSetupView::DetachedFromWindow()
{
	if (fChanged)
		ApplyAndSave();
}

void CCddaReadSetupView::LoadFileFormats()
{
	SetFileFormats(ListFileFormatPairs(CddaInputFormat()));
}

void CCddaReadSetupView::SetFileFormats(std::vector<FileFormatPair> pairs)
{
	fPairs = std::move(pairs);
	fDisplay.fileFormatLabels.clear();
	for (const FileFormatPair& pair : fPairs)
		fDisplay.fileFormatLabels.push_back(pair.label);
	fDisplay.markedFileFormat = -1;
	_Post();
}

void CCddaReadSetupView::Revert()
{
	CPreference record(kCddaReadSetupName);
	record.Load();
	CddaReadSetup setup = CddaReadSetupFromMessage(record);
	fDisplay.removeSilenceAtBeginning = setup.removeSilenceAtBeginning;
	fDisplay.removeSilenceAtEnding = false;
	fDisplay.removeSilenceAtEndingEnabled = false;

	fDisplay.markedFileFormat = -1;
	for (size_t i = 0; i < fPairs.size(); i++) {
		if (fPairs[i].formatShortName == setup.formatShortName && fPairs[i].codecShortName == setup.codecShortName) {
			fDisplay.markedFileFormat = int32(i);
			break;
		}
	}
	if (fDisplay.markedFileFormat < 0) {
		DebugAssert(__FILE__, __LINE__, "item != NULL");
		if (!fPairs.empty())
			fDisplay.markedFileFormat = 0;
	}

	if (fDisplay.hasDevice) {
		DeviceReadSettings settings = LoadDeviceReadSettings(fDeviceRecordName.c_str());
		fDisplay.readSyncMode = Clamp(settings.readSyncMode, READ_SYNC_OFF, READ_SYNC_AUTO);
		fDisplay.readSyncSectors = Clamp(settings.readSyncSectors, 0, kMaxReadSyncSectors);
		fDisplay.readOffset = Clamp(settings.readOffset, -kMaxReadOffsetSamples, kMaxReadOffsetSamples);
	}

	fChanged = false;
	fDisplay.revertEnabled = false;
	_Post();
}

void CCddaReadSetupView::ApplyAndSave()
{
	CPreference record(kCddaReadSetupName);
	record.Load();
	// Load gives the stored keys only; the defaults fill what is missing.
	// Keys that are missing take their defaults; other keys stay.
	CddaReadSetup setup = CddaReadSetupFromMessage(record);
	int32 marked = fDisplay.markedFileFormat;
	if (marked < 0 || marked >= int32(fPairs.size())) {
		DebugAssert(__FILE__, __LINE__, "item != NULL");
	} else {
		setup.formatShortName = fPairs[marked].formatShortName;
		setup.codecShortName = fPairs[marked].codecShortName;
	}
	auto putString = [&record](const char* key, const std::string& value) {
		if (record.ReplaceString(key, value) != B_OK) {
			record.RemoveName(key);
			record.AddString(key, value);
		}
	};
	auto putBool = [&record](const char* key, bool value) {
		if (record.ReplaceBool(key, value) != B_OK) {
			record.RemoveName(key);
			record.AddBool(key, value);
		}
	};
	putString(kFormatShortNameKey, setup.formatShortName);
	putString(kCodecShortNameKey, setup.codecShortName);
	putBool(kRemoveSilenceAtBeginningKey, fDisplay.removeSilenceAtBeginning);
	putBool(kRemoveSilenceAtEndingKey, fDisplay.removeSilenceAtEnding);
	record.Save();

	if (fDisplay.hasDevice) {
		CPreference device(fDeviceRecordName.c_str());
		// A drive record that is not there yet is not made here: the device
		// layer creates it with all its keys.
		if (device.Load()) {
			auto put = [&device](const char* key, int32 value) {
				if (device.ReplaceInt32(key, value) != B_OK) {
					device.RemoveName(key);
					device.AddInt32(key, value);
				}
			};
			put(kReadSyncModeKey, fDisplay.readSyncMode);
			put(kReadSyncSectorsKey, fDisplay.readSyncSectors);
			put(kReadOffsetKey, fDisplay.readOffset);
			device.Save();
		}
	}
}

bool CCddaReadSetupView::MessageReceived(BMessage* message)
{
	int32 value = 0;
	switch (message->what) {
		case CDDA_READ_SETUP_REVERT:
			Revert();
			return true;
		case CDDA_READ_SETUP_SILENCE_BEGINNING:
			if (message->FindInt32("value", &value) == B_OK)
				fDisplay.removeSilenceAtBeginning = value != 0;
			_DataChanged();
			return true;
		case CDDA_READ_SETUP_SILENCE_ENDING:
			// The check box is disabled and always off.
			_DataChanged();
			return true;
		case CDDA_READ_SETUP_FORMAT: {
			std::string format, codec;
			message->FindString(kFormatShortNameKey, &format);
			message->FindString(kCodecShortNameKey, &codec);
			for (size_t i = 0; i < fPairs.size(); i++) {
				if (fPairs[i].formatShortName == format && fPairs[i].codecShortName == codec) {
					fDisplay.markedFileFormat = int32(i);
					break;
				}
			}
			_DataChanged();
			return true;
		}
		case CDDA_READ_SETUP_SYNC_MODE:
			if (!fDisplay.hasDevice || message->FindInt32("value", &value) != B_OK)
				return true;
			fDisplay.readSyncMode = Clamp(value, READ_SYNC_OFF, READ_SYNC_AUTO);
			_DataChanged();
			return true;
		case CDDA_READ_SETUP_SYNC_SECTORS:
			if (!fDisplay.hasDevice || message->FindInt32("value", &value) != B_OK)
				return true;
			fDisplay.readSyncSectors = Clamp(value, 0, kMaxReadSyncSectors);
			_DataChanged();
			return true;
		case CDDA_READ_SETUP_READ_OFFSET:
			if (!fDisplay.hasDevice || message->FindInt32("value", &value) != B_OK)
				return true;
			fDisplay.readOffset = Clamp(value, -kMaxReadOffsetSamples, kMaxReadOffsetSamples);
			_DataChanged();
			return true;
		default:
			return false;
	}
}

void CCddaReadSetupView::_DataChanged()
{
	fChanged = true;
	fDisplay.revertEnabled = true;
	_Post();
}

void CCddaReadSetupView::_Post()
{
	if (!fTarget.IsValid())
		return;
	BMessage message(CDDA_READ_SETUP_CHANGED);
	fTarget.SendMessage(&message, nullptr, 200000);
}
