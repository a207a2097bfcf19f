// Table of contents and disc keys.
#include "disc/Toc.h"

#include "frame/Diagnostics.h"
#include "kit/device/CdAddress.h"

#include <cstdint>

CTocTrack::CTocTrack()
{
	MakeEmpty();
}

CTocTrack::~CTocTrack() = default;

void CTocTrack::MakeEmpty()
{
	lba = 0;
	size = 0;
	pauseSize = 0;
	preEmphasis = false;
	copyAllowed = false;
	dataTrack = false;
	artist.clear();
	title.clear();
}

CToc::CToc()
	: pLocker(std::make_unique<BLocker>("CToc locker"))
{
}

CToc::~CToc() = default;

bool CToc::Lock()
{
	return pLocker->Lock();
}

void CToc::Unlock()
{
	pLocker->Unlock();
}

bool CToc::IsLocked() const
{
	return pLocker->IsLocked();
}

void CToc::CheckLocked() const
{
	if (!pLocker->IsLocked())
		DebugAssert(__FILE__, __LINE__, "pLocker->IsLocked()");
}

bool CToc::CheckTrack(int track) const
{
	if (track >= 1 && track <= kMaxTracks)
		return true;
	DebugAssert(__FILE__, __LINE__, "TrackNr >= 1 && TrackNr <= 99");
	return false;
}

void CToc::MakeEmpty()
{
	CheckLocked();
	countTracks = 0;
	firstTrack = 1;
	title.clear();
	for (CTocTrack& track : tracks)
		track.MakeEmpty();
}

void CToc::SetTrackCount(int count)
{
	CheckLocked();
	if (count < 0 || count > kMaxTracks) {
		DebugAssert(__FILE__, __LINE__, "count >= 0 && count <= 99");
		// Readers loop up to the count: never let it point past the tracks.
		count = count < 0 ? 0 : kMaxTracks;
	}
	countTracks = count;
	firstTrack = 1;
}

void CToc::SetTrackRange(int first, int last)
{
	CheckLocked();
	if (first < 1 || first > last || last > kMaxTracks) {
		DebugAssert(__FILE__, __LINE__, "first >= 1 && first <= last && last <= 99");
		return;
	}
	firstTrack = first;
	countTracks = last - first + 1;
}

int CToc::FirstTrack()
{
	CheckLocked();
	return firstTrack;
}

int CToc::LastTrack()
{
	CheckLocked();
	return firstTrack + countTracks - 1;
}

int CToc::TrackCount()
{
	CheckLocked();
	if (countTracks < 0 || countTracks > kMaxTracks)
		DebugAssert(__FILE__, __LINE__, "countTracks >= 0 && countTracks <= 99");
	return countTracks;
}

void CToc::SetTitle(const char* text)
{
	CheckLocked();
	title = text != nullptr ? text : "";
}

const char* CToc::Title()
{
	CheckLocked();
	return title.c_str();
}

void CToc::SetTrackLBA(int track, int lba)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].lba = lba;
}

int CToc::TrackLBA(int track)
{
	CheckLocked();
	return CheckTrack(track) ? tracks[track - 1].lba : 0;
}

void CToc::SetTrackSize(int track, int size)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].size = size;
}

int CToc::TrackSize(int track)
{
	CheckLocked();
	return CheckTrack(track) ? tracks[track - 1].size : 0;
}

void CToc::SetTrackPauseSize(int track, int pauseSize)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].pauseSize = pauseSize;
}

int CToc::TrackPauseSize(int track)
{
	CheckLocked();
	return CheckTrack(track) ? tracks[track - 1].pauseSize : 0;
}

int CToc::TrackTrackLBA(int track)
{
	CheckLocked();
	if (!CheckTrack(track))
		return 0;
	const CTocTrack& t = tracks[track - 1];
	return static_cast<int>(static_cast<int64>(t.lba) + t.pauseSize);
}

int CToc::TrackTrackSize(int track)
{
	CheckLocked();
	if (!CheckTrack(track))
		return 0;
	const CTocTrack& t = tracks[track - 1];
	return static_cast<int>(static_cast<int64>(t.size) - t.pauseSize);
}

void CToc::SetTrackPreEmphasis(int track, bool preEmphasis)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].preEmphasis = preEmphasis;
}

bool CToc::TrackPreEmphasis(int track)
{
	CheckLocked();
	return CheckTrack(track) && tracks[track - 1].preEmphasis;
}

void CToc::SetTrackCopyAllowed(int track, bool copyAllowed)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].copyAllowed = copyAllowed;
}

bool CToc::TrackCopyAllowed(int track)
{
	CheckLocked();
	return CheckTrack(track) && tracks[track - 1].copyAllowed;
}

void CToc::SetTrackDataTrack(int track, bool dataTrack)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].dataTrack = dataTrack;
}

bool CToc::TrackDataTrack(int track)
{
	CheckLocked();
	return CheckTrack(track) && tracks[track - 1].dataTrack;
}

void CToc::SetTrackTitle(int track, const char* text)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].title = text != nullptr ? text : "";
}

const char* CToc::TrackTitle(int track)
{
	CheckLocked();
	return CheckTrack(track) ? tracks[track - 1].title.c_str() : "";
}

void CToc::SetTrackArtist(int track, const char* text)
{
	CheckLocked();
	if (CheckTrack(track))
		tracks[track - 1].artist = text != nullptr ? text : "";
}

const char* CToc::TrackArtist(int track)
{
	CheckLocked();
	return CheckTrack(track) ? tracks[track - 1].artist.c_str() : "";
}

int CToc::InitCdTracksCdKey(int leadOutLba)
{
	CheckLocked();
	// Absolute frames; below -150 a position wraps into the 100-minute range
	// (LBA -151 is 99:59.74). A drive's lead-out beyond 100 minutes wraps the
	// same way, so the key always stays six BCD digits.
	int64 f = (static_cast<int64>(leadOutLba) + kCdMsfOffset) % kCdClockFrames;
	if (f < 0)
		f += kCdClockFrames;
	SCdMsf msf = FramesToMsf(static_cast<int32>(f));
	SCdMsf bcd = MsfToBcd(msf);
	int key = bcd.minute << 16 | bcd.second << 8 | bcd.frame;
	cdKey = key;
	cdKeyMinutes = msf.minute;
	cdKeySeconds = msf.second;
	return key;
}

void CToc::InitCdTracksTrackKey(int track, int startLba, int endLba)
{
	CheckLocked();
	if (!CheckTrack(track))
		return;
	// Both ends cut to whole seconds (truncating division), in 64 bits so
	// that no pair of positions overflows.
	int64 frames = (static_cast<int64>(endLba / kCdFramesPerSecond) - startLba / kCdFramesPerSecond)
		* kCdFramesPerSecond;
	trackKeyMinutes[track - 1] = static_cast<int32>(frames / kCdFramesPerMinute);
	trackKeySeconds[track - 1] = static_cast<int32>(frames / kCdFramesPerSecond - (frames / kCdFramesPerMinute) * 60);
}

void CToc::GetCdTracksCdKey(int* key)
{
	CheckLocked();
	if (key != nullptr)
		*key = cdKey;
}

void CToc::GetCdTracksCdKey(int* minutes, int* seconds)
{
	CheckLocked();
	if (minutes != nullptr)
		*minutes = cdKeyMinutes;
	if (seconds != nullptr)
		*seconds = cdKeySeconds;
}

void CToc::GetCdTracksTrackKey(int track, int* minutes, int* seconds)
{
	CheckLocked();
	bool valid = CheckTrack(track);
	if (minutes != nullptr)
		*minutes = valid ? trackKeyMinutes[track - 1] : 0;
	if (seconds != nullptr)
		*seconds = valid ? trackKeySeconds[track - 1] : 0;
}
