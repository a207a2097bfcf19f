#include "recording/RecordDisplay.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Format(const char* format, auto... arguments)
{
	char text[512];
	snprintf(text, sizeof(text), format, arguments...);
	return text;
}

void ResetBar(RECORD_BAR_DISPLAY* bar, const char* text = "0.0%")
{
	bar->value = 0;
	bar->text = text;
}

void SetBar(RECORD_BAR_DISPLAY* bar, float percent)
{
	bar->value = percent;
	bar->text = FormatPercent(percent);
}

float Percent(int64 part, int64 whole)
{
	if (whole <= 0)
		return 0;
	return float(part) * 100.0f / float(whole);
}

}   // namespace

std::string FormatPercent(float percent)
{
	return Format("%.1f%%", percent);
}

std::string FormatPosition(int32 sectors)
{
	if (sectors < 0)
		sectors = 0;
	return Format("Position: %02d:%02d.%02d", sectors / 4500, (sectors / 75) % 60, sectors % 75);
}

void CRecordDisplayUpdater::Begin(CD_RECORD_DISPLAY* display)
{
	display->buttonLabel = "Cancel";
	display->buttonIsDefault = true;
	display->buttonToolTip = "Cancel the write process";
}

void CRecordDisplayUpdater::End(CD_RECORD_DISPLAY* display)
{
	display->buttonLabel = "Close";
	display->buttonIsDefault = true;
	display->buttonToolTip = "Close this window?";
}

std::string CRecordDisplayUpdater::_TrackLine(const RECORD_RUN_SNAPSHOT& run)
{
	std::string name = run.trackName ? run.trackName(run.currentTrack) : std::string();
	return Format(run.simulation ? "Simulation mode - writing track no. %d: %s" : "Writing track no. %d: %s",
		run.currentTrack, name.c_str());
}

void CRecordDisplayUpdater::_StartPhase(bigtime_t duration, const RECORD_RUN_SNAPSHOT& run, bigtime_t now)
{
	fPhaseStart = now;
	fExpected = duration;
	if (run.writeSpeedFactor != -1 && run.writeSpeedFactor > 0)
		fExpected = bigtime_t(double(duration) / run.writeSpeedFactor);
	if (fExpected <= 0)
		fExpected = 1;
}

void CRecordDisplayUpdater::_EnterState(const RECORD_RUN_SNAPSHOT& run, bigtime_t now, CD_RECORD_DISPLAY* display)
{
	switch (run.runState) {
		case STATUS_INIT:
			display->project = run.projectName;
			ResetBar(&display->buffer);
			ResetBar(&display->recorderBuffer);
			display->track.label = "";
			display->track.toolTip = "";
			display->overall.label = "All Tracks: ";
			ResetBar(&display->overall);
			display->overall.trailingText = FormatPosition(0);
			break;
		case STATUS_LEADIN:
			display->project = run.projectName;
			display->status = run.simulation ? "Simulation mode - writing leadin" : "Writing leadin";
			display->track.label = "Leadin: ";
			ResetBar(&display->track);
			display->track.trailingText = "";
			display->track.toolTip = "Progress of writing the disc leadin";
			_StartPhase(kLeadinDuration, run, now);
			break;
		case STATUS_TRACK_WRITE:
			fLastTrack = run.currentTrack;
			display->project = run.projectName;
			display->status = _TrackLine(run);
			display->track.label = "Current Track: ";
			ResetBar(&display->track);
			display->track.trailingText = Format("Track %d of %d", run.currentTrack, run.countTracksOfDisc);
			display->track.toolTip = "Progress of writing the current track";
			break;
		case STATUS_LEADOUT:
		case STATUS_FIXATE: {
			bool leadout = run.runState == STATUS_LEADOUT;
			if (leadout)
				display->status = run.simulation ? "Simulation mode - writing leadout" : "Writing leadout";
			else
				display->status = run.simulation ? "Simulation mode - fixating the medium" : "Fixating the medium";
			ResetBar(&display->buffer);
			ResetBar(&display->recorderBuffer);
			display->track.label = leadout ? "Leadout: " : "Fixation: ";
			ResetBar(&display->track);
			display->track.trailingText = "";
			display->overall.value = 100;
			display->overall.text = "100.0%";
			display->track.toolTip = leadout ? "Progress of writing the disc leadout"
											 : "Progress of writing the disc leadin and leadout";
			_StartPhase(leadout ? kLeadoutDuration : kFixationDuration, run, now);
			break;
		}
		case STATUS_FINISHED:
			ResetBar(&display->buffer);
			ResetBar(&display->recorderBuffer);
			break;
		default:
			break;
	}
}

bool CRecordDisplayUpdater::Round(const RECORD_RUN_SNAPSHOT& run, bigtime_t now, CD_RECORD_DISPLAY* display)
{
	CD_RECORD_DISPLAY before = *display;
	if (run.runState != fLastState) {
		fLastState = run.runState;
		_EnterState(run, now, display);
	}

	switch (run.runState) {
		case STATUS_TRACK_WRITE:
			if (run.currentTrack != fLastTrack && run.currentTrack <= run.countTracksOfDisc) {
				fLastTrack = run.currentTrack;
				display->status = _TrackLine(run);
				display->track.trailingText = Format("Track %d of %d", run.currentTrack, run.countTracksOfDisc);
			}
			SetBar(&display->track, Percent(run.currentSectorOfTrack, run.countSectorsOfCurrentTrack));
			SetBar(&display->overall, Percent(run.currentSectorOfDisc, run.countSectorsOfDisc));
			display->overall.trailingText = FormatPosition(run.currentSectorOfDisc);
			if (run.hasRingBuffer)
				SetBar(&display->buffer, run.ringBufferFill);
			if (run.recorderBufferFill != -1)
				SetBar(&display->recorderBuffer, run.recorderBufferFill);
			break;
		case STATUS_LEADIN:
		case STATUS_LEADOUT:
		case STATUS_FIXATE: {
			bigtime_t elapsed = now - fPhaseStart;
			if (elapsed > fExpected + kEstimateSlack)
				fExpected += fExpected * 4 / 10;
			float percent = std::min(100.0f, float(double(elapsed) * 100.0 / double(fExpected)));
			SetBar(&display->track, std::max(0.0f, percent));
			if (run.runState == STATUS_LEADIN && run.recorderBufferFill != -1)
				SetBar(&display->recorderBuffer, run.recorderBufferFill);
			break;
		}
		case STATUS_INIT:
			if (run.hasRingBuffer)
				SetBar(&display->buffer, run.ringBufferFill);
			break;
		default:
			break;
	}
	return !(before == *display);
}

int32 CRecordPriorityManager::RowOfLevel(int32 fillLevel)
{
	if (fillLevel > 80)
		return 0;
	if (fillLevel > 70)
		return 1;
	if (fillLevel > 50)
		return 2;
	return 3;
}

PRIORITY_STEP CRecordPriorityManager::Round(float fillPercent)
{
	static constexpr int32 kReadPriority[4] = {12, 18, 80, 112};
	static constexpr int32 kWritePriority[4] = {95, -1, -1, 120};

	PRIORITY_STEP step;
	int32 row = RowOfLevel(int32(fillPercent));
	if (row != fRow) {
		fRow = row;
		step.readPriority = kReadPriority[row];
		step.writePriority = kWritePriority[row];
		step.trouble = row == 3;
	}
	if (fRow == 3)
		step.extraWait = 400000;
	return step;
}
