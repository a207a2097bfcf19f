#include "emulator/VirtualDrives.h"

#include "kit/device/VirtualDevice.h"
#include "kit/storage/FindDirectory.h"
#include "kit/support/EscapeText.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool IsFile(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}   // namespace

status_t FindVirtualDriveDescription(std::string* path, bool* disabled)
{
	path->clear();
	*disabled = false;
	const char* variable = getenv("TARNWICK_VIRTUAL_DRIVES");
	if (variable != nullptr && variable[0] != '\0') {
		if (std::string(variable) == "none") {
			*disabled = true;
			return B_OK;
		}
		*path = variable;
		return IsFile(*path) ? B_OK : B_ENTRY_NOT_FOUND;
	}
	std::string settings;
	if (find_directory(B_USER_SETTINGS_DIRECTORY, &settings, false) == B_OK) {
		std::string candidate = settings + "/Tarnwick/virtual-drives";
		if (IsFile(candidate))
			*path = candidate;
	}
	return B_OK;
}

status_t LoadVirtualDriveConfigs(std::vector<CDriveConfig>* drives, std::string* error)
{
	drives->clear();
	std::string path;
	bool disabled = false;
	status_t status = FindVirtualDriveDescription(&path, &disabled);
	if (status != B_OK) {
		*error = "TARNWICK_VIRTUAL_DRIVES names no file: " + path;
		return status;
	}
	if (disabled)
		return B_OK;
	if (path.empty()) {
		CDriveConfig drive;
		std::string data;
		if (find_directory(B_USER_DATA_DIRECTORY, &data, false) == B_OK)
			drive.output = data + "/tarnwick/virtual-recorder";
		drives->push_back(drive);
		return B_OK;
	}
	return CDriveConfig::Load(path, drives, error);
}

status_t CreateVirtualDrive(const CDriveConfig& config, std::shared_ptr<CMmcDrive>* drive, std::string* error)
{
	std::shared_ptr<CDiscImage> medium;
	switch (config.medium) {
		case CDriveConfig::kMediumNone:
			break;
		case CDriveConfig::kMediumBlankCdR:
			medium = CDiscImage::CreateBlank(CDiscImage::kBlankCdR, config.minutes);
			break;
		case CDriveConfig::kMediumBlankCdRw:
			medium = CDiscImage::CreateBlank(CDiscImage::kBlankCdRw, config.minutes);
			break;
		case CDriveConfig::kMediumImage: {
			status_t status = CDiscImage::LoadCue(config.image, &medium, error, config.cdText);
			if (status != B_OK)
				return status;
			break;
		}
	}
	*drive = std::make_shared<CMmcDrive>(config, medium);
	return B_OK;
}

status_t StartVirtualDrives(std::vector<std::string>* paths)
{
	std::vector<CDriveConfig> configs;
	std::string error;
	status_t status = LoadVirtualDriveConfigs(&configs, &error);
	if (status != B_OK) {
		// The message quotes the user's file: show its control characters escaped.
		fprintf(stderr, "virtual drives: %s\n", EscapeControlChars(error).c_str());
		return status;
	}
	status_t result = B_OK;
	for (const CDriveConfig& config : configs) {
		std::shared_ptr<CMmcDrive> drive;
		error.clear();
		status = CreateVirtualDrive(config, &drive, &error);
		std::string path;
		if (status == B_OK)
			status = RegisterVirtualDevice(drive, &path);
		if (status != B_OK) {
			fprintf(stderr, "virtual drives: %s %s not offered: %s\n", EscapeControlChars(config.vendor).c_str(),
				EscapeControlChars(config.product).c_str(),
				error.empty() ? "cannot register it" : EscapeControlChars(error).c_str());
			if (result == B_OK)
				result = status;
			continue;
		}
		if (paths != nullptr)
			paths->push_back(path);
	}
	return result;
}

void StopVirtualDrives()
{
	UnregisterVirtualDevices();
}
