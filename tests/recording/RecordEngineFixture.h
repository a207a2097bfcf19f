// A recorder made of test functions for the recording engine: a virtual
// device that answers nothing (so a CDevice can be opened), a driver record
// whose command slots log each command and fail on demand, a project of
// hand-made WAV files, and a clock that runs a thousand times faster than
// real time.
#pragma once

#include "DebugCapture.h"

#include "devices/Device.h"
#include "disc/Toc.h"
#include "driver/driverbaseclass.h"
#include "frame/Preference.h"
#include "kit/app/MessageSink.h"
#include "kit/device/RawDevice.h"
#include "kit/device/VirtualDevice.h"
#include "kit/kernel/OS.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectTrack.h"
#include "recording/CdRecordStatusView.h"
#include "recording/RecordClock.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace recordtest {

// Runs `scale` times faster than real time; remembers the waits of the
// write thread.
class CFastClock : public CRecordClock {
public:
	explicit CFastClock(int64 scale = 1000) : fScale(scale), fStart(system_time()) {}
	bigtime_t Now() override { return (system_time() - fStart) * fScale; }
	void Snooze(bigtime_t microseconds) override
	{
		thread_info info;
		if (get_thread_info(find_thread(nullptr), &info) == B_OK && strcmp(info.name, kWriteThreadName) == 0) {
			std::lock_guard<std::mutex> lock(fLock);
			fWriterSnoozes.push_back(microseconds);
		}
		snooze(std::max<bigtime_t>(microseconds / fScale, 1));
	}
	bool WaitUnitReady(CDevice* device, bigtime_t timeout, SCSI_STATUS* status) override
	{
		bigtime_t start = Now();
		while (true) {
			if (device->GetDriver()->TestUnitReady(device, status))
				return true;
			if (Now() - start >= timeout)
				return false;
			Snooze(300000);
		}
	}
	std::vector<bigtime_t> WriterSnoozes()
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fWriterSnoozes;
	}

private:
	int64 fScale;
	bigtime_t fStart;
	std::mutex fLock;
	std::vector<bigtime_t> fWriterSnoozes;
};

// A target that takes any command and answers "good": only so that the
// device object has something to open.
class CSilentDrive : public CVirtualDevice {
public:
	status_t Execute(raw_device_command* command) override
	{
		command->scsi_status = 0;
		command->cam_status = CAM_REQ_CMP;
		return B_OK;
	}
	status_t ReadAudio(int32, int32, void*) override { return B_DEV_READ_ERROR; }
	uint8 PeripheralType() const override { return 5; }
};

// What the fake recorder does and saw. The driver's slots reach the one
// live recorder through a global pointer.
struct CFakeRecorder {
	std::mutex lock;
	std::vector<std::string> log;
	bool trayLocked = false;
	bool ejected = false;
	int32 ejects = 0;

	// Faults.
	int32 notReadyRounds = 0;   // TestUnitReady fails this many times (-1: always)
	bool failSpeedSet = false;
	bool failSpeedGet = false;
	bool failOpenSession = false;
	bool failOpenTrack = false;
	int32 failWriteAt = -1;     // the n-th Write (0-based) fails with a medium error
	int32 longWrites = 0;       // the first Writes answer 2/04/08
	bool failCloseSession = false;
	bool failFixate = false;
	int64 closeTime = 1000;     // duration reported by CloseSession / FixateDisc
	int64 writeTime = 1000;     // duration reported by every Write
	float factor = 4.0f;        // SpeedGet's write factor (-1: unknown)
	std::function<void(int32)> onWrite;   // called before each Write attempt with its index

	// What was written.
	int32 writeCalls = 0;
	int32 firstLba = -150;
	bool testWrite = false;
	std::map<int32, std::vector<uint8>> sectors;   // real writes, by LBA
	int32 simulatedSectors = 0;
	std::vector<int32> statesAtWrite;              // the view's run state at each Write attempt
	std::vector<std::pair<int32, int32>> writes;   // LBA and sectors of each accepted Write
	std::vector<int32> openTrackPauses;
	std::vector<int32> openTrackSectors;
	int32 nextTrack = 1;
	// The table of contents ReadToc gives: per track its start (index 1) and pause.
	std::vector<int32> tocStarts;
	std::vector<int32> tocPauses;
	CCdRecordStatusView* view = nullptr;

	void Log(const std::string& entry)
	{
		std::lock_guard<std::mutex> guard(lock);
		log.push_back(entry);
	}
	bool Logged(const std::string& entry)
	{
		std::lock_guard<std::mutex> guard(lock);
		return std::find(log.begin(), log.end(), entry) != log.end();
	}
	int32 CountLogged(const std::string& entry)
	{
		std::lock_guard<std::mutex> guard(lock);
		return int32(std::count(log.begin(), log.end(), entry));
	}
};

inline CFakeRecorder* gRecorder = nullptr;

inline void Fail(SCSI_STATUS* status, uint8 key, uint8 asc, uint8 ascq, int64 time = 1000)
{
	if (status == nullptr)
		return;
	memset(status, 0, sizeof(*status));
	status->scsi_status = 2;   // CHECK CONDITION
	status->sense.ErrorCode = 0x70;
	status->sense.SenseKey = key;
	status->sense.AdditionalSenseCode = asc;
	status->sense.AdditionalSenseCodeQualifier = ascq;
	status->time = time;
}

inline bool Good(SCSI_STATUS* status, int64 time = 1000)
{
	if (status != nullptr) {
		memset(status, 0, sizeof(*status));
		status->time = time;
	}
	return true;
}

// The driver record: every slot the engine uses is a function of the fake.
class CFakeDriver : public CDriver {
public:
	CFakeDriver(uint64 flags) : CDriver(_QuietImage())
	{
		set_debugger_hook(nullptr);
		Flags = flags;
		MediumEject = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("MediumEject");
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->ejected = true;
			gRecorder->ejects++;
			return Good(s);
		};
		MediumLoad = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("MediumLoad");
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->ejected = false;
			return Good(s);
		};
		MediumAllowRemoval = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("MediumAllowRemoval");
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->trayLocked = false;
			return Good(s);
		};
		MediumPreventRemoval = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("MediumPreventRemoval");
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->trayLocked = true;
			return Good(s);
		};
		ModeSense = [](CDevice*, void*, int32, int32, uint16, SCSI_STATUS* s) {
			Fail(s, 5, 0x24, 0);
			return false;
		};
		ModeSelect = [](CDevice*, const void*, int32, uint16, uint16, SCSI_STATUS* s) {
			Fail(s, 5, 0x24, 0);
			return false;
		};
		TestUnitReady = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("TestUnitReady");
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			if (gRecorder->notReadyRounds != 0) {
				if (gRecorder->notReadyRounds > 0)
					gRecorder->notReadyRounds--;
				Fail(s, 2, 0x04, 0x01);
				return false;
			}
			return Good(s);
		};
		SpeedSet = [](CDevice*, int32, int32 write, SCSI_STATUS* s) {
			gRecorder->Log("SpeedSet " + std::to_string(write));
			if (gRecorder->failSpeedSet) {
				Fail(s, 5, 0x24, 0);
				return false;
			}
			return Good(s);
		};
		SpeedGet = [](CDevice*, float* read, float* write, SCSI_STATUS* s) {
			gRecorder->Log("SpeedGet");
			if (gRecorder->failSpeedGet) {
				Fail(s, 5, 0x20, 0);
				return false;
			}
			if (read != nullptr)
				*read = 8.0f;
			if (write != nullptr)
				*write = gRecorder->factor;
			return Good(s);
		};
		ReadBufferCapacity = [](CDevice*, int32* total, int32* freeBytes, SCSI_STATUS* s) {
			*total = 1000;
			*freeBytes = 250;
			return Good(s);
		};
		Write = [](CDevice*, int32 lba, const void* buffer, int32 count, int32 size, SCSI_STATUS* s) {
			CFakeRecorder& r = *gRecorder;
			int32 index;
			{
				std::lock_guard<std::mutex> guard(r.lock);
				index = r.writeCalls++;
				if (r.view != nullptr)
					r.statesAtWrite.push_back(r.view->RunState());
			}
			if (r.onWrite)
				r.onWrite(index);
			std::lock_guard<std::mutex> guard(r.lock);
			if (r.longWrites > 0) {
				r.longWrites--;
				Fail(s, 2, 0x04, 0x08);
				return false;
			}
			if (index == r.failWriteAt) {
				Fail(s, 3, 0x0C, 0x00);
				return false;
			}
			r.writes.emplace_back(lba, count);
			if (r.testWrite) {
				r.simulatedSectors += count;
			} else {
				auto* bytes = static_cast<const uint8*>(buffer);
				for (int32 i = 0; i < count; i++)
					r.sectors[lba + i].assign(bytes + i * size, bytes + (i + 1) * size);
			}
			return Good(s, r.writeTime);
		};
		OpenSession = [](CDevice*, uint16 burnProof, uint16 testWrite, const void*, int32 bytes, int32* lba,
						  SCSI_STATUS* s) {
			gRecorder->Log("OpenSession " + std::to_string(testWrite) + " " + std::to_string(bytes));
			if (gRecorder->failOpenSession) {
				Fail(s, 5, 0x64, 0);
				return false;
			}
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->testWrite = testWrite != 0;
			*lba = gRecorder->firstLba;
			return Good(s);
		};
		CloseSession = [](CDevice*, float, SCSI_STATUS* s) {
			gRecorder->Log("CloseSession");
			if (gRecorder->failCloseSession) {
				Fail(s, 3, 0x73, 0x00, gRecorder->closeTime);
				return false;
			}
			return Good(s, gRecorder->closeTime);
		};
		GetNextTrackNumber = [](CDevice*, int32* track, SCSI_STATUS* s) {
			gRecorder->Log("GetNextTrackNumber");
			*track = gRecorder->nextTrack;
			return Good(s);
		};
		OpenTrack = [](CDevice*, int32 track, uint16, uint16 testWrite, int32 pause, int32 sectors, uint16, uint16,
						const char*, const char*, int32* lba, SCSI_STATUS* s) {
			gRecorder->Log("OpenTrack " + std::to_string(track));
			if (gRecorder->failOpenTrack) {
				Fail(s, 5, 0x21, 0);
				return false;
			}
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			gRecorder->testWrite = testWrite != 0;
			gRecorder->openTrackPauses.push_back(pause);
			gRecorder->openTrackSectors.push_back(sectors);
			*lba = gRecorder->sectors.empty() ? 0 : gRecorder->sectors.rbegin()->first + 1;
			return Good(s);
		};
		CloseTrack = [](CDevice*, int32 track, SCSI_STATUS* s) {
			gRecorder->Log("CloseTrack " + std::to_string(track));
			return Good(s);
		};
		FixateDisc = [](CDevice*, float, SCSI_STATUS* s) {
			gRecorder->Log("FixateDisc");
			if (gRecorder->failFixate) {
				Fail(s, 3, 0x73, 0x00, gRecorder->closeTime);
				return false;
			}
			return Good(s, gRecorder->closeTime);
		};
		ReadToc = [](CDevice*, CToc* toc, SCSI_STATUS* s) {
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			toc->SetTrackCount(int(gRecorder->tocStarts.size()));
			for (size_t i = 0; i < gRecorder->tocStarts.size(); i++) {
				toc->SetTrackLBA(int(i + 1), gRecorder->tocStarts[i] - gRecorder->tocPauses[i]);
				toc->SetTrackPauseSize(int(i + 1), gRecorder->tocPauses[i]);
			}
			return Good(s);
		};
		ReadAudio = [](CDevice*, void* buffer, int32 lba, int32 count, SCSI_STATUS* s) {
			std::lock_guard<std::mutex> guard(gRecorder->lock);
			for (int32 i = 0; i < count; i++) {
				auto found = gRecorder->sectors.find(lba + i);
				if (found == gRecorder->sectors.end()) {
					Fail(s, 3, 0x11, 0x00);
					return false;
				}
				memcpy(static_cast<uint8*>(buffer) + size_t(i) * 2352, found->second.data(), 2352);
			}
			return Good(s);
		};
		OptimumPowerCalibration = [](CDevice*, SCSI_STATUS* s) {
			gRecorder->Log("OptimumPowerCalibration");
			return Good(s);
		};
	}

private:
	// No command library: the slots not set above keep their failing
	// stand-ins; the "missing function" reports are silenced.
	static image_id _QuietImage()
	{
		set_debugger_hook([](const char*) {});
		return -1;
	}
};

constexpr uint64 kRecorderFlags = F_SUPPORTED | F_TAO_WRITE | F_DAO_WRITE | F_TAO_TESTWRITE | F_DAO_TESTWRITE;

// One short WAV (44.1 kHz, stereo, 16-bit) whose samples count up from
// `seed`, so that every sector of a disc is recognisable.
inline std::vector<uint8> WriteTestWav(const std::string& path, int32 frames, int32 seed)
{
	std::vector<uint8> data(size_t(frames) * 4);
	for (int32 i = 0; i < frames * 2; i++) {
		int16 sample = int16(seed + i * 7);
		data[i * 2] = uint8(sample);
		data[i * 2 + 1] = uint8(uint16(sample) >> 8);
	}
	std::vector<uint8> bytes;
	auto put = [&](const char* text) {
		for (int i = 0; i < 4; i++)
			bytes.push_back(uint8(text[i]));
	};
	auto put32 = [&](uint32 v) {
		for (int i = 0; i < 4; i++)
			bytes.push_back(uint8(v >> (8 * i)));
	};
	auto put16 = [&](uint16 v) {
		bytes.push_back(uint8(v));
		bytes.push_back(uint8(v >> 8));
	};
	put("RIFF");
	put32(uint32(36 + data.size()));
	put("WAVE");
	put("fmt ");
	put32(16);
	put16(1);
	put16(2);
	put32(44100);
	put32(44100 * 4);
	put16(4);
	put16(16);
	put("data");
	put32(uint32(data.size()));
	bytes.reserve(bytes.size() + data.size());
	for (uint8 byte : data)
		bytes.push_back(byte);
	FILE* file = fopen(path.c_str(), "wb");
	EXPECT_NE(file, nullptr) << path;
	if (file != nullptr) {
		fwrite(bytes.data(), 1, bytes.size(), file);
		fclose(file);
	}
	return data;
}

struct TRACK_SPEC {
	int32 frames;
	int32 pauseSectors;   // start silence
};

// A recorder, a project and a status view writing to a message sink.
class RecordEngine : public testing::Test {
protected:
	void SetUp() override
	{
		gRecorder = &fRecorder;
		fDrive = std::make_shared<CSilentDrive>();
		std::string path;
		ASSERT_EQ(RegisterVirtualDevice(fDrive, &path), B_OK);
		int bus = 0, target = 0, lun = 0;
		ASSERT_EQ(sscanf(path.c_str(), "/dev/bus/scsi/%d/%d/%d/raw", &bus, &target, &lun), 3);
		SCSI_INQUIRY inquiry {};
		memcpy(inquiry.VendorIdentification, "FAKE    ", 8);
		memcpy(inquiry.ProductIdentification, "RECORDER        ", 16);
		fDevice = std::make_unique<CDevice>(bus, target, lun, dev_open(path.c_str(), O_RDONLY), &inquiry);
		fFolder = std::filesystem::temp_directory_path() / ("tarnwick-record-" + std::to_string(getpid()) + "-"
					  + testing::UnitTest::GetInstance()->current_test_info()->name());
		std::filesystem::remove_all(fFolder);
		std::filesystem::create_directories(fFolder);
		fSink = std::make_shared<CMessageSink>();
		fView = std::make_unique<CCdRecordStatusView>(fSink->Messenger(), &fClock);
		fRecorder.view = fView.get();
	}
	void TearDown() override
	{
		fView.reset();
		fProject.reset();
		fDevice.reset();
		UnregisterVirtualDevices();
		std::filesystem::remove_all(fFolder);
		gRecorder = nullptr;
	}

	// Binds a fake driver with `flags` and a small ring buffer: clusters of
	// `sectors` sectors, `clusters` per element, `elements` elements.
	void UseRecorder(uint64 flags = kRecorderFlags, int32 sectors = 4, int32 clusters = 2, int32 elements = 4)
	{
		auto* preference = new CPreference("fake recorder");
		preference->AddInt32("write buffer sectors", sectors);
		preference->AddInt32("write buffer clusters", clusters);
		preference->AddInt32("write buffer elements", elements);
		fDevice->Init(new CFakeDriver(flags), preference);
	}

	// Makes the project and the disc stream it should give: per track its
	// pause (track 1 at least 150 sectors), data and padding.
	void MakeProject(const std::vector<TRACK_SPEC>& tracks)
	{
		fProject = std::make_unique<CProject>(fFolder.c_str());
		fExpected.clear();
		fTrackStarts.clear();
		for (size_t i = 0; i < tracks.size(); i++) {
			std::string name = "track" + std::to_string(i + 1) + ".wav";
			std::vector<uint8> data = WriteTestWav(fFolder + "/" + name, tracks[i].frames, int32(i * 1000 + 1));
			auto track = std::make_unique<CProjectTrack>(fProject.get(), name.c_str(),
				("Title " + std::to_string(i + 1)).c_str(), "Artist", 0, 0, tracks[i].frames);
			track->SetStartSilenceLength(int64(tracks[i].pauseSectors) * 588);
			fProject->AddTrack(std::move(track));
			int32 pause = tracks[i].pauseSectors;
			if (i == 0 && pause < 150)
				pause = 150;
			fExpected.insert(fExpected.end(), size_t(pause) * 2352, 0);
			fTrackStarts.push_back(int32(fExpected.size() / 2352));
			fPauses.push_back(pause);
			fRecorder.tocStarts.push_back(fTrackStarts.back() - 150);
			fRecorder.tocPauses.push_back(pause);
			fExpected.insert(fExpected.end(), data.begin(), data.end());
			fExpected.resize((fExpected.size() + 2351) / 2352 * 2352, 0);
		}
	}

	CRecordAction* Action(int32 flags, int32 mode = RECORD_MODE_DAO, bool burnProof = false)
	{
		auto* action = new CRecordAction;
		action->nActionFlags = flags;
		action->nWriteMode = mode;
		action->pProject = fProject.get();
		action->pDevice = fDevice.get();
		action->nWriteSpeed = 4;
		action->bBurnProof = burnProof;
		return action;
	}

	// Runs `action` to its end as a window would: the end message goes
	// back to the view. False when it did not end within 60 s.
	bool Run(CRecordAction* action)
	{
		fView->StartRecording(action);
		std::unique_ptr<BMessage> ended = fSink->WaitForMessage(M_RECORD_WRITE_THREAD_ENDED, 60000000);
		if (ended == nullptr)
			return false;
		fView->MessageReceived(ended.get());
		return true;
	}

	// Nothing of the run is left: no thread, the tray free, the counter
	// down, the view idle.
	void ExpectNothingLeft()
	{
		EXPECT_FALSE(fView->IsBusy());
		EXPECT_EQ(g_CdRecordingActive, 0);
		EXPECT_EQ(fView->WriteThread(), -1);
		EXPECT_EQ(fView->ReadThread(), -1);
		EXPECT_EQ(fView->DisplayThread(), -1);
		EXPECT_EQ(fView->PriorityThread(), -1);
		for (const char* name : {kReadThreadName, kWriteThreadName, kDisplayThreadName, kPriorityThreadName})
			EXPECT_EQ(find_thread(name), B_NAME_NOT_FOUND) << name;
		EXPECT_FALSE(fRecorder.trayLocked);
		EXPECT_EQ(fView->BufferFill(), -1);
	}

	// The failure end: the message in the status line, selectable, the
	// medium ejected, nothing left.
	void ExpectFailure(const std::string& messageStart)
	{
		std::string message = fView->FailureMessage();
		EXPECT_EQ(message.substr(0, messageStart.size()), messageStart) << message;
		CD_RECORD_DISPLAY display = fView->Display();
		EXPECT_EQ(display.status, message);
		EXPECT_TRUE(display.statusSelectable);
		EXPECT_EQ(display.buttonLabel, "Close");
		EXPECT_FALSE(fView->Succeeded());
		EXPECT_TRUE(fRecorder.ejected);
		EXPECT_GE(fRecorder.CountLogged("MediumAllowRemoval"), 4);
		ExpectNothingLeft();
	}

	// The real writes, in LBA order from `from`, as one byte stream.
	std::vector<uint8> Written(int32 from)
	{
		std::vector<uint8> bytes;
		std::lock_guard<std::mutex> guard(fRecorder.lock);
		int32 expect = from;
		for (const auto& [lba, sector] : fRecorder.sectors) {
			EXPECT_EQ(lba, expect) << "gap in the written sectors";
			expect = lba + 1;
			bytes.insert(bytes.end(), sector.begin(), sector.end());
		}
		return bytes;
	}

	CFakeRecorder fRecorder;
	CFastClock fClock;
	std::shared_ptr<CSilentDrive> fDrive;
	std::unique_ptr<CDevice> fDevice;
	std::string fFolder;
	std::unique_ptr<CProject> fProject;
	std::shared_ptr<CMessageSink> fSink;
	std::unique_ptr<CCdRecordStatusView> fView;
	std::vector<uint8> fExpected;
	std::vector<int32> fTrackStarts;
	std::vector<int32> fPauses;
};

}   // namespace recordtest
