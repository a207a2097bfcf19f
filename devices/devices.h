// Drives of the program: the driver add-ons and the device list.
//
// These are the joints that start-up and shutdown call; for now they do
// nothing but say so in a trace.
#pragma once

// Loads the command library and every driver add-on. Called once by the
// "application init" thread, before OpenDevices.
void LoadDriver();
// Unloads every driver add-on, then the command library. Called last at
// shutdown, after CloseDevices.
void UnloadDriver();
// Finds the drives and binds each to a driver. True when at least one drive
// was found (start-up goes on without drives).
bool OpenDevices();
// Deletes every drive of the device list.
void CloseDevices();
