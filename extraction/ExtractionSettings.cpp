// The settings an extraction job reads.
#include "extraction/ExtractionSettings.h"

#include "frame/Preference.h"
#include "kit/support/Message.h"

namespace {

void ReadInt32(const BMessage& record, const char* key, int32* value)
{
	int32 stored;
	if (record.FindInt32(key, &stored) == B_OK)
		*value = stored;
}

}   // namespace

CddaReadSetup CddaReadSetupFromMessage(const BMessage& record)
{
	CddaReadSetup setup;
	std::string text;
	if (record.FindString(kFormatShortNameKey, &text) == B_OK)
		setup.formatShortName = text;
	if (record.FindString(kCodecShortNameKey, &text) == B_OK)
		setup.codecShortName = text;
	bool flag;
	if (record.FindBool(kRemoveSilenceAtBeginningKey, &flag) == B_OK)
		setup.removeSilenceAtBeginning = flag;
	if (record.FindBool(kRemoveSilenceAtEndingKey, &flag) == B_OK)
		setup.removeSilenceAtEnding = flag;
	return setup;
}

DeviceReadSettings DeviceReadSettingsFromMessage(const BMessage& record)
{
	DeviceReadSettings settings;
	ReadInt32(record, kReadBufferSectorsKey, &settings.readBufferSectors);
	ReadInt32(record, kReadBufferClustersKey, &settings.readBufferClusters);
	ReadInt32(record, kReadBufferElementsKey, &settings.readBufferElements);
	ReadInt32(record, kReadSpinupSectorsKey, &settings.readSpinupSectors);
	ReadInt32(record, kReadSyncModeKey, &settings.readSyncMode);
	ReadInt32(record, kReadSyncSectorsKey, &settings.readSyncSectors);
	ReadInt32(record, kReadErrorRetrysKey, &settings.readErrorRetrys);
	ReadInt32(record, kReadOffsetKey, &settings.readOffset);
	return settings;
}

CddaReadSetup LoadCddaReadSetup()
{
	CPreference record(kCddaReadSetupName);
	record.Load();
	return CddaReadSetupFromMessage(record);
}

DeviceReadSettings LoadDeviceReadSettings(const char* deviceRecordName)
{
	if (deviceRecordName == nullptr || deviceRecordName[0] == '\0')
		return DeviceReadSettings();
	CPreference record(deviceRecordName);
	record.Load();
	return DeviceReadSettingsFromMessage(record);
}
