// Start-up of the virtual drives: reads the description file and offers each
// described drive in the device namespace (RegisterVirtualDevice).
//
// The description file is the one named by the environment variable
// TARNWICK_VIRTUAL_DRIVES, else "Tarnwick/virtual-drives" in the user
// settings folder. Without either, one virtual recorder holding a blank
// 80-minute CD-R is offered. TARNWICK_VIRTUAL_DRIVES=none offers none.
#pragma once

#include "emulator/DriveConfig.h"
#include "emulator/MmcDrive.h"
#include "kit/support/SupportDefs.h"

#include <memory>
#include <string>
#include <vector>

// The description file in use: *path is empty when there is none (then the
// default drive applies); *disabled when the variable says "none".
status_t FindVirtualDriveDescription(std::string* path, bool* disabled);

// The drives of the description (or the default drive). B_OK, or the error
// of the file with *error naming it.
status_t LoadVirtualDriveConfigs(std::vector<CDriveConfig>* drives, std::string* error);

// Makes a drive from its description, loading its medium. A medium that
// cannot be loaded is an error (B_ENTRY_NOT_FOUND, B_BAD_DATA, ...).
status_t CreateVirtualDrive(const CDriveConfig& config, std::shared_ptr<CMmcDrive>* drive, std::string* error);

// Reads the description, makes every drive and registers it. Drives whose
// medium cannot be loaded are reported on standard error and skipped; the
// others are still offered. Returns B_OK when every described drive was
// registered, else the first error. Called once at start-up, before
// discovery; *paths (when given) receives the raw paths of the new drives.
status_t StartVirtualDrives(std::vector<std::string>* paths = nullptr);
// Removes every virtual drive from the device namespace.
void StopVirtualDrives();
