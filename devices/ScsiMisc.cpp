// SCSI records, the INQUIRY and REQUEST SENSE commands, and the texts of
// sense data, SCSI status bytes and CAM status bytes.
#include "devices/ScsiMisc.h"

#include "frame/Diagnostics.h"
#include "kit/device/ScsiCommands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	va_list copy;
	va_copy(copy, args);
	int length = vsnprintf(nullptr, 0, format, copy);
	va_end(copy);
	std::string text;
	if (length > 0) {
		text.resize(size_t(length) + 1);
		vsnprintf(text.data(), text.size(), format, args);
		text.resize(size_t(length));
	}
	va_end(args);
	return text;
}

struct STATUS_TEXT {
	int value;
	const char* text;
};

const STATUS_TEXT kScsiStatusTexts[] = {
	{0x00, "GOOD.  This status indicates that the target has successfully completed the command"},
	{0x02, "CHECK CONDITION.  This status indicates that a contingent allegiance condition has occurred"},
	{0x04, "CONDITION MET.  This status or INTERMEDIATE-CONDITION MET is returned whenever the requested operation is satisfied (see the SEARCH DATA and PRE-FETCH commands)"},
	{0x08, "BUSY.  This status indicates that the target is busy.  This status shall be returned whenever a target is unable to accept a command from an otherwise acceptable initiator (i.e., no reservation conflicts)"},
	{0x10, "INTERMEDIATE.  This status or INTERMEDIATE-CONDITION MET shall be returned for every successfully completed command in a series of linked commands (except the last command), unless the command is terminated with CHECK CONDITION, RESERVATION CONFLICT, or COMMAND TERMINATED status"},
	{0x14, "INTERMEDIATE-CONDITION MET.  This status is the combination of the CONDITION MET and INTERMEDIATE statuses"},
	{0x18, "RESERVATION CONFLICT.  This status shall be returned whenever an initiator attempts to access a logical unit or an extent within a logical unit that is reserved with a conflicting reservation type for another SCSI device"},
	{0x22, "COMMAND TERMINATED.  This status shall be returned whenever the target terminates the current I/O process after receiving a TERMINATE I/O PROCESS message. This status also indicates that a contingent allegiance condition has occurred"},
	{0x28, "QUEUE FULL.  This status shall be implemented if tagged queuing is implemented.  This status is returned when a SIMPLE QUEUE TAG, ORDERED QUEUE TAG, or HEAD OF QUEUE TAG message is received and the command queue is full. The I/O process is not placed in the command queue"},
};

const STATUS_TEXT kCamStatusTexts[] = {
	{0x00, "CAM_REQ_INPROG - CCB request is in progress"},
	{0x01, "CAM_REQ_CMP - CCB request completed without error"},
	{0x02, "CAM_REQ_ABORTED - CCB request aborted by the host"},
	{0x03, "CAM_UA_ABORT - Unable to Abort CCB request"},
	{0x04, "CAM_REQ_CMP_ERR - CCB request completed with an error"},
	{0x05, "CAM_BUSY - CAM subsystem is busy"},
	{0x06, "CAM_REQ_INVALID - CCB request is invalid"},
	{0x07, "CAM_PATH_INVALID - Path ID supplied is invalid"},
	{0x08, "CAM_DEV_NOT_THERE - SCSI device not installed/there"},
	{0x09, "CAM_UA_TERMIO - Unable to Terminate I/O CCB request"},
	{0x0A, "CAM_SEL_TIMEOUT - Target selection timeout"},
	{0x0B, "CAM_CMD_TIMEOUT - Command timeout"},
	{0x0D, "CAM_MSG_REJECT_REC - Message reject received"},
	{0x0E, "CAM_SCSI_BUS_RESET - SCSI bus reset sent/received"},
	{0x0F, "CAM_UNCOR_PARITY - Uncorrectable parity error occurred"},
	{0x10, "CAM_AUTOSENSE_FAIL - Autosense: Request sense cmd fail"},
	{0x11, "CAM_NO_HBA - No HBA detected Error"},
	{0x12, "CAM_DATA_RUN_ERR - Data overrun/underrun error"},
	{0x13, "CAM_UNEXP_BUSFREE - Unexpected BUS free"},
	{0x14, "CAM_SEQUENCE_FAIL - Target bus phase sequence failure"},
	{0x15, "CAM_CCB_LEN_ERR - CCB length supplied is inadequate"},
	{0x16, "CAM_PROVIDE_FAIL - Unable to provide requ. capability"},
	{0x17, "CAM_BDR_SENT - A SCSI BDR msg was sent to target"},
	{0x18, "CAM_REQ_TERMIO - CCB request terminated by the host"},
	{0x19, "CAM_HBA_ERR - Unrecoverable host bus adaptor error"},
	{0x1A, "CAM_BUS_RESET_DENIED - SCSI bus reset denied"},
	{0x33, "CAM_IDE - Initiator Detected Error Received"},
	{0x34, "CAM_RESRC_UNAVAIL - Resource unavailable"},
	{0x35, "CAM_UNACKED_EVENT - Unacknowledged event by host"},
	{0x36, "CAM_MESSAGE_RECV - Msg received in Host Target Mode"},
	{0x37, "CAM_INVALID_CDB - Invalid CDB recvd in HT Mode"},
	{0x38, "CAM_LUN_INVALID - LUN supplied is invalid"},
	{0x39, "CAM_TID_INVALID - Target ID supplied is invalid"},
	{0x3A, "CAM_FUNC_NOTAVAIL - The requ. func is not available"},
	{0x3B, "CAM_NO_NEXUS - Nexus is not established"},
	{0x3C, "CAM_IID_INVALID - The initiator ID is invalid"},
	{0x3D, "CAM_CDB_RECVD - The SCSI CDB has been received"},
	{0x3E, "CAM_LUN_ALLREADY_ENAB - LUN already enabled"},
	{0x3F, "CAM_SCSI_BUSY - SCSI bus busy"},
};

const char* const kUnknownStatusByte = "unknown status byte";

template<size_t N>
const char* FindStatusText(const STATUS_TEXT (&table)[N], int value)
{
	for (const STATUS_TEXT& row : table) {
		if (row.value == value)
			return row.text;
	}
	return nullptr;
}

bool CodeMatches(uint16 tableCode, uint8 code)
{
	return tableCode == SCSI_CODE_ANY || tableCode == code;
}

// A row text that is a format takes the ASCQ in place of its "%02X".
std::string FillFormat(const char* format, uint8 ascq)
{
	std::string text = format;
	size_t position = text.find("%02X");
	if (position != std::string::npos)
		text.replace(position, 4, Format("%02X", ascq));
	return text;
}

// The condition text of the MMC table, else of the SCSI-2 table; empty when
// neither has a matching row.
std::string FindConditionText(uint8 senseKey, uint8 asc, uint8 ascq)
{
	for (const SCSI_MMC_CONDITION* row = g_ScsiMmcConditions; row->key != SCSI_CODE_END; row++) {
		if (!CodeMatches(row->key, senseKey) || !CodeMatches(row->asc, asc)
			|| !CodeMatches(row->ascq, ascq))
			continue;
		if (row->key != SCSI_CODE_ANY && row->asc != SCSI_CODE_ANY && row->ascq == SCSI_CODE_ANY)
			return FillFormat(row->text, ascq);
		return row->text;
	}
	for (const SCSI_ASC_CONDITION* row = g_Scsi2Conditions; row->asc != SCSI_CODE_END; row++) {
		if (!CodeMatches(row->asc, asc) || !CodeMatches(row->ascq, ascq))
			continue;
		if (row->asc != SCSI_CODE_ANY && row->ascq == SCSI_CODE_ANY)
			return FillFormat(row->text, ascq);
		return row->text;
	}
	return std::string();
}

void LogRequestFailure(int result, const raw_device_command& command)
{
	DebugLog("failed: ret = %d (%02Xh), rdc.cam_status = %d (%02Xh), rdc.scsi_status = %d (%02Xh)\n",
		result, unsigned(result), command.cam_status, unsigned(command.cam_status),
		command.scsi_status, unsigned(command.scsi_status));
}

// Sends a command that reads `length` bytes into `data`.
int SendDataInCommand(int fd, const CCommandBlock& block, void* data, size_t length,
	void* sense, size_t senseLength, raw_device_command* command)
{
	*command = raw_device_command();
	memcpy(command->command, block.Bytes(), block.Length());
	command->command_length = block.Length();
	command->flags = B_RAW_DEVICE_DATA_IN | B_RAW_DEVICE_SHORT_READ_VALID;
	command->data = data;
	command->data_length = length;
	command->sense_data = sense;
	command->sense_data_length = senseLength;
	command->timeout = 1000000;
	return dev_ioctl(fd, B_RAW_DEVICE_COMMAND, command, sizeof(*command));
}

}   // namespace

bool ScsiInquiry(int fd, SCSI_INQUIRY* inquiry)
{
	DEBUG_ASSERT(inquiry != nullptr);
	if (inquiry == nullptr)
		return false;
	memset(inquiry, 0, sizeof(*inquiry));
	DebugLog("requesting inquiry data... \n");

	const CCommandBlock block = cdb::Inquiry(sizeof(SCSI_INQUIRY));
	SCSI_SENSE sense;
	memset(&sense, 0, sizeof(sense));
	raw_device_command command;
	int result = SendDataInCommand(fd, block, inquiry, sizeof(*inquiry), &sense, sizeof(sense),
		&command);
	if (result == 0 && (command.cam_status & CAM_STATUS_MASK) == CAM_REQ_CMP) {
		DebugLog("done\n");
		return true;
	}
	LogRequestFailure(result, command);
	if (result == 0 && command.cam_status == CAM_DATA_RUN_ERR) {
		DebugLog("inquiry error 0x12 (CAM_DATA_RUN_ERR - Data overrun/underrun error) ignored\n");
		DebugLog("Inquiry bytes requested: %d\n", int(sizeof(SCSI_INQUIRY)));
		return true;
	}
	if ((command.cam_status & CAM_AUTOSNS_VALID) == 0) {
		DebugLog("no autosense information\n");
		ScsiRequestSense(fd, &sense);
	} else
		DebugLog("autosense information provided\n");
	DumpSense(&sense);
	return false;
}

bool ScsiCanWriteCdText(int fd)
{
	constexpr uint16 kSessionAtOnceFeature = 0x002E;
	constexpr uint8 kRw = 0x01;
	constexpr uint8 kSao = 0x20;
	uint8 data[16] = {};
	SCSI_SENSE sense;
	memset(&sense, 0, sizeof(sense));
	raw_device_command command;
	int result = SendDataInCommand(fd, cdb::GetConfiguration(2, kSessionAtOnceFeature, sizeof(data)), data,
		sizeof(data), &sense, sizeof(sense), &command);
	if (result != 0 || ((command.cam_status & CAM_STATUS_MASK) != CAM_REQ_CMP
			&& command.cam_status != CAM_DATA_RUN_ERR))
		return false;
	// The header's length counts the bytes after itself; the descriptor
	// needs its 4-byte head and the flags byte.
	const size_t received = std::min(sizeof(data), size_t(command.data_length));
	const size_t length = (size_t(data[0]) << 24 | size_t(data[1]) << 16 | size_t(data[2]) << 8 | data[3]) + 4;
	if (received < 13 || length < 13)
		return false;
	const uint8* descriptor = data + 8;
	if ((descriptor[0] << 8 | descriptor[1]) != kSessionAtOnceFeature || descriptor[3] < 4)
		return false;
	return (descriptor[4] & (kSao | kRw)) == (kSao | kRw);
}

bool ScsiRequestSense(int fd, SCSI_SENSE* sense)
{
	DEBUG_ASSERT(sense != nullptr);
	if (sense == nullptr)
		return false;
	memset(sense, 0, sizeof(*sense));
	DebugLog("requesting sense data... \n");

	const CCommandBlock block = cdb::RequestSense(sizeof(SCSI_SENSE));
	raw_device_command command;
	int result = SendDataInCommand(fd, block, sense, sizeof(*sense), nullptr, 0, &command);
	if (result == 0 && (command.cam_status & CAM_STATUS_MASK) == CAM_REQ_CMP) {
		DebugLog("done\n");
		return true;
	}
	LogRequestFailure(result, command);
	if (result == 0 && command.cam_status == CAM_DATA_RUN_ERR) {
		DebugLog("request sense error 0x12 (CAM_DATA_RUN_ERR - Data overrun/underrun error) ignored\n");
		DebugLog("Sense bytes requested: %d\n", int(sizeof(SCSI_SENSE)));
		return true;
	}
	return false;
}

std::string GetScsiSenseMessage(uint8 senseKey, uint8 asc, uint8 ascq, bool verbose)
{
	std::string message;
	for (const SCSI_SENSE_KEY_TEXT* row = g_ScsiSenseKeyTexts; row->key != SCSI_CODE_END; row++) {
		if (row->key == senseKey) {
			message = row->text;
			break;
		}
	}
	std::string condition = FindConditionText(senseKey, asc, ascq);
	if (!condition.empty()) {
		message += " - ";
		message += condition;
	}
	if (message.empty())
		message = "UNKNOWN ERROR";

	std::string prefix;
	if (verbose) {
		prefix = Format("sense key: %i (%02Xh)\nadditional sense code (ASC): %i (%02Xh)\n"
						"additional sense code qualifier (ASCQ): %i (%02Xh)\n",
			senseKey, unsigned(senseKey), asc, unsigned(asc), ascq, unsigned(ascq));
	} else
		prefix = Format("(%02X, %02X, %02X) - ", unsigned(senseKey), unsigned(asc), unsigned(ascq));
	return prefix + message;
}

std::string GetScsiStatusByteDescription(int status)
{
	const char* text = FindStatusText(kScsiStatusTexts, status & 0x3E);
	return text != nullptr ? text : kUnknownStatusByte;
}

std::string _GetCamStatusByteDescription(int status)
{
	const char* text = FindStatusText(kCamStatusTexts, status & CAM_STATUS_MASK);
	return text != nullptr ? text : kUnknownStatusByte;
}

std::string GetCamStatusByteDescription(int status)
{
	std::string text = _GetCamStatusByteDescription(status);
	if ((status & CAM_SIM_QFRZN) != 0)
		text += ", CAM_SIM_QFRZN - The SIM queue is frozen with this error";
	if ((status & CAM_AUTOSNS_VALID) != 0)
		text += ", CAM_AUTOSNS_VALID";
	return text;
}

std::string GetScsiErrorMessage(const char* headline, const SCSI_STATUS* status, bool verbose)
{
	std::string text = headline != nullptr ? headline : "";
	text += "\n\n";
	DEBUG_ASSERT(status != nullptr);
	if (status == nullptr)
		return text;

	text += Format("os status = %i (%02Xh)\n", status->os_status, unsigned(status->os_status));
	text += Format("scsi status = %i (%02Xh)", status->scsi_status, unsigned(status->scsi_status));
	if (verbose)
		text += " " + GetScsiStatusByteDescription(status->scsi_status);
	text += "\n";
	text += Format("cam status = %i (%02Xh)", status->cam_status, unsigned(status->cam_status));
	if (verbose)
		text += " " + GetCamStatusByteDescription(status->cam_status);
	text += "\n\n";

	text += Format("last command (%i) = ", status->command_length);
	for (int i = 0; i < int(sizeof(status->command)); i++) {
		unsigned value = i < status->command_length ? status->command[i] : 0;
		text += Format(i == 0 ? "%02Xh" : " %02Xh", value);
	}
	text += "\n\n";

	const SCSI_SENSE& sense = status->sense;
	text += GetScsiSenseMessage(sense.SenseKey, sense.AdditionalSenseCode,
		sense.AdditionalSenseCodeQualifier, verbose);
	text += "\n\n";
	text += Format("sense error code = %i (%02Xh)\n", sense.ErrorCode, unsigned(sense.ErrorCode));
	text += Format("sense valid bit = %01i\n", sense.Valid);
	text += Format("sense incorrect length indicator bit = %01i\n", sense.ILI);
	text += "\n\n";
	return text;
}

void DumpSense(const SCSI_SENSE* sense)
{
	DebugLog("Dump: SCSI_SENSE @ %08" PRIxPTR "h\n", reinterpret_cast<uintptr_t>(sense));
	if (sense == nullptr)
		return;
	DebugLog("%s\n", GetScsiSenseMessage(sense->SenseKey, sense->AdditionalSenseCode,
		sense->AdditionalSenseCodeQualifier, false).c_str());

	uint8 bytes[sizeof(SCSI_SENSE)];
	memcpy(bytes, sense, sizeof(bytes));
	for (size_t line = 0; line < sizeof(bytes); line += 8) {
		std::string text = "  hex:";
		for (size_t i = line; i < line + 8 && i < sizeof(bytes); i++)
			text += Format(" %02x", unsigned(bytes[i]));
		DebugLog("%s\n", text.c_str());
	}

	DebugLog("  ErrorCode: %02xh\n", unsigned(sense->ErrorCode));
	DebugLog("  Valid: %02xh\n", unsigned(sense->Valid));
	DebugLog("  SegmentNumber: %02xh\n", unsigned(sense->SegmentNumber));
	DebugLog("  SenseKey: %02xh\n", unsigned(sense->SenseKey));
	DebugLog("  ILI: %02xh\n", unsigned(sense->ILI));
	DebugLog("  EOM: %02xh\n", unsigned(sense->EOM));
	DebugLog("  FileMark: %02xh\n", unsigned(sense->FileMark));
	DebugLog("  Information: %02xh %02xh %02xh %02xh\n", unsigned(sense->Information[0]),
		unsigned(sense->Information[1]), unsigned(sense->Information[2]),
		unsigned(sense->Information[3]));
	DebugLog("  AdditionalSenseLength: %02xh\n", unsigned(sense->AdditionalSenseLength));
	DebugLog("  CommandSpecificInformation: %02xh %02xh %02xh %02xh\n",
		unsigned(sense->CommandSpecificInformation[0]), unsigned(sense->CommandSpecificInformation[1]),
		unsigned(sense->CommandSpecificInformation[2]), unsigned(sense->CommandSpecificInformation[3]));
	DebugLog("  AdditionalSenseCode: %02xh\n", unsigned(sense->AdditionalSenseCode));
	DebugLog("  AdditionalSenseCodeQualifier: %02xh\n", unsigned(sense->AdditionalSenseCodeQualifier));
	DebugLog("  FieldReplaceableUnitCode: %02xh\n", unsigned(sense->FieldReplaceableUnitCode));
	DebugLog("\n");
}

void DumpStatus(const SCSI_STATUS* status)
{
	DebugLog("Dump: SCSI_STATUS @ %08" PRIxPTR "h\n", reinterpret_cast<uintptr_t>(status));
}

void DumpInquiry(const SCSI_INQUIRY* inquiry)
{
	DebugLog("Dump: SCSI_INQUIRY @ %08" PRIxPTR "h\n", reinterpret_cast<uintptr_t>(inquiry));
}
