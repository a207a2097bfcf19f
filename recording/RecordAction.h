// CRecordAction: the parameters of one recording run, built by the record
// set-up (or the command line) and handed to the recording status view,
// which owns it from then on.
#pragma once

#include "kit/support/SupportDefs.h"

#include <memory>

class CDevice;
class CProject;

// Bits of CRecordAction::nActionFlags.
enum : int32 {
	RECORD_ACTION_SIMULATE = 1,     // a simulation pass (the recorder's test write)
	RECORD_ACTION_WRITE = 2,        // a real write pass
	RECORD_ACTION_SPEED_TEST = 4,   // refused by the set-up; never reaches the engine
};

// Values of CRecordAction::nWriteMode.
enum : int32 {
	RECORD_MODE_TAO_FIXATE = 1,     // track-at-once, the disc fixated at the end
	RECORD_MODE_TAO_OPEN = 2,       // track-at-once, the disc left open
	RECORD_MODE_DAO = 4,            // disc-at-once (raw on a recorder that only writes raw)
};

class CRecordAction {
public:
	CRecordAction() = default;
	// Gives the project's roster reference back when bProjectRegistered is
	// set, and deletes an owned project.
	~CRecordAction();
	CRecordAction(const CRecordAction&) = delete;
	CRecordAction& operator=(const CRecordAction&) = delete;

	int32 nActionFlags = 0;           // RECORD_ACTION_*: 1 simulate, 2 write, 3 simulate then write
	int32 nWriteMode = RECORD_MODE_DAO;
	CProject* pProject = nullptr;     // the project to write; not owned unless ownedProject holds it
	CDevice* pDevice = nullptr;       // the recorder; not owned
	int32 nWriteSpeed = -1;           // for CDevice::SetWriteSpeed (-1 keeps the drive's speed)
	float fSpeedFactor = -1.0f;       // the factor shown with the chosen speed; not used by the engine
	bool bRewritableMedium = false;   // not used by the engine
	bool bBurnProof = false;          // buffer-underrun protection requested
	bool bVerify = false;             // read the written disc back and compare it with the project
	// CD_TEXT_* (recording/CdTextWriter.h): the CD-Text written in
	// disc-at-once mode on a recorder with F_CDTEXT_WRITE; 0 writes none.
	int32 nCdText = 0;

	// The set-up registered pProject with gpProjectRoster; the action gives
	// that reference back when it is deleted.
	bool bProjectRegistered = false;
	// A project that belongs to the action (the command line builds one
	// that no roster keeps); pProject then points at it.
	std::unique_ptr<CProject> ownedProject;
};
