// Descriptors of the device namespace: dev_open, dev_close, dev_ioctl and
// dev_read_cd_audio over real drives (Linux SCSI generic and CD block
// devices) and virtual drives.
#include "kit/device/RawDevice.h"

#include "kit/device/CdAudio.h"
#include "kit/device/DeviceNamespace.h"
#include "kit/device/ScsiSysfs.h"
#include "kit/device/SgTransport.h"
#include "kit/device/VirtualDevice.h"
#include "kit/kernel/OS.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <utility>
#include <memory>
#include <mutex>
#include <scsi/sg.h>
#include <sys/eventfd.h>
#include <unistd.h>

// What this thread's commands reported beyond the real time they took.
// In the program, not in an add-on: LeakSanitizer cannot walk the dynamic
// thread-local storage of a library that was unloaded.
thread_local bigtime_t tTimeBeyondReal = 0;

namespace {

// One open descriptor. Its Linux descriptors are closed when the last user
// lets go, so a command running while another thread closes it finishes on
// a descriptor that is still its own.
struct DESCRIPTOR {
	int fd = -1;                 // the number handed out; a Linux descriptor we own
	bool isVirtual = false;
	uint64 virtualId = 0;
	bool isBlockDevice = false;  // real drives: fd is the CD block device
	std::string srPath;          // real drives: block device for audio reads
	size_t maxTransfer = B_RAW_DEVICE_DEFAULT_MAX_TRANSFER;

	std::mutex audioLock;
	int audioFd = -1;            // block device opened for audio reads, on demand
	bool audioOpenTried = false;

	~DESCRIPTOR()
	{
		if (audioFd >= 0)
			close(audioFd);
		if (fd >= 0)
			close(fd);
	}
};

class CDescriptorTable {
public:
	static CDescriptorTable& Default()
	{
		static CDescriptorTable* table = new CDescriptorTable;   // never destroyed
		return *table;
	}

	void Add(std::shared_ptr<DESCRIPTOR> descriptor)
	{
		std::lock_guard<std::mutex> lock(fLock);
		fDescriptors[descriptor->fd] = std::move(descriptor);
	}

	std::shared_ptr<DESCRIPTOR> Find(int fd)
	{
		std::lock_guard<std::mutex> lock(fLock);
		auto found = fDescriptors.find(fd);
		return found != fDescriptors.end() ? found->second : nullptr;
	}

	std::shared_ptr<DESCRIPTOR> Remove(int fd)
	{
		std::lock_guard<std::mutex> lock(fLock);
		auto found = fDescriptors.find(fd);
		if (found == fDescriptors.end())
			return nullptr;
		std::shared_ptr<DESCRIPTOR> descriptor = std::move(found->second);
		fDescriptors.erase(found);
		return descriptor;
	}

private:
	std::mutex fLock;
	std::map<int, std::shared_ptr<DESCRIPTOR>> fDescriptors;
};

int OpenLinuxDevice(const std::string& path, bool writable)
{
	if (writable) {
		int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
		if (fd >= 0 || (errno != EACCES && errno != EROFS && errno != EPERM))
			return fd;
	}
	return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// errno for a virtual drive's failed Execute.
int ErrnoFromStatus(status_t status)
{
	switch (status) {
		case B_BAD_VALUE:
			return EINVAL;
		case B_NO_MEMORY:
			return ENOMEM;
		case B_BUSY:
			return EBUSY;
		case B_TIMED_OUT:
		case B_DEV_TIMEOUT:
			return ETIMEDOUT;
		case B_PERMISSION_DENIED:
		case B_NOT_ALLOWED:
			return EPERM;
		case B_DEV_NO_MEDIA:
			return ENOMEDIUM;
		case B_NOT_SUPPORTED:
			return ENOTSUP;
		default:
			return EIO;
	}
}

// The transfer limit of a real drive's descriptor (see
// dev_max_transfer_length). `queueLimitPath` is the sysfs max_sectors_kb
// file of its block queue, empty when it has none.
size_t RealTransferLimit(int fd, const std::string& queueLimitPath)
{
	size_t queue = 0;
	if (!queueLimitPath.empty()) {
		int kb = ReadSysfsNumber(queueLimitPath);
		if (kb > 0)
			queue = size_t(kb) * 1024;
	}
	int reserved = 0;
	bool reservedKnown = CallOsIoctl(fd, SG_GET_RESERVED_SIZE, &reserved) == 0 && reserved > 0;
	if (reservedKnown && queue > 0 && size_t(reserved) < queue) {
		// The reserved buffer can often grow to what the queue takes.
		int wanted = int(std::min<size_t>(queue, INT32_MAX));
		int grown = 0;
		if (CallOsIoctl(fd, SG_SET_RESERVED_SIZE, &wanted) == 0
			&& CallOsIoctl(fd, SG_GET_RESERVED_SIZE, &grown) == 0 && grown > reserved)
			reserved = grown;
	}
	if (reservedKnown && queue > 0)
		return std::min(size_t(reserved), queue);
	if (reservedKnown)
		return size_t(reserved);
	if (queue > 0)
		return queue;
	return B_RAW_DEVICE_DEFAULT_MAX_TRANSFER;
}

bool ValidCommand(const raw_device_command& command)
{
	if (command.command_length < 1 || command.command_length > sizeof(command.command))
		return false;
	if (command.data_length > 0 && command.data == nullptr)
		return false;
	if (command.sense_data_length > 0 && command.sense_data == nullptr)
		return false;
	return true;
}

}   // namespace

int dev_open(const char* path, int flags)
{
	if (path == nullptr) {
		errno = EINVAL;
		return -1;
	}
	dev_node_type type = dev_node(path);
	if (type == DEV_NODE_DIRECTORY) {
		errno = EISDIR;
		return -1;
	}
	DEVICE_NODE node;
	if (type != DEV_NODE_DEVICE || !CDeviceNamespace::Default().Resolve(path, &node)) {
		errno = ENOENT;
		return -1;
	}

	auto descriptor = std::make_shared<DESCRIPTOR>();
	if (node.isVirtual) {
		descriptor->isVirtual = true;
		descriptor->virtualId = node.virtualId;
		descriptor->fd = eventfd(0, EFD_CLOEXEC);
		if (descriptor->fd < 0)
			return -1;
		std::shared_ptr<CVirtualDevice> device = CDeviceNamespace::Default().FindVirtual(node.virtualId);
		if (device != nullptr)
			descriptor->maxTransfer = std::max<size_t>(device->MaxTransferLength(), 1);
	} else {
		// A raw device (an ATAPI path is both) opens the SCSI generic device,
		// a system device file the CD block device; each falls back on the
		// other.
		struct CANDIDATE {
			const std::string* path;
			bool block;
		};
		CANDIDATE candidates[2] = {{&node.sgPath, false}, {&node.srPath, true}};
		if (!node.rawDevice)
			std::swap(candidates[0], candidates[1]);
		int fd = -1;
		int error = ENOENT;
		bool block = false;
		for (const CANDIDATE& candidate : candidates) {
			if (candidate.path->empty())
				continue;
			fd = OpenLinuxDevice(*candidate.path, !candidate.block);
			if (fd >= 0) {
				block = candidate.block;
				break;
			}
			if (error == ENOENT)
				error = errno;
		}
		if (fd < 0) {
			errno = error;
			return -1;
		}
		descriptor->fd = fd;
		descriptor->isBlockDevice = block;
		descriptor->srPath = node.srPath;
		descriptor->maxTransfer = RealTransferLimit(fd, node.queueLimitPath);
	}
	int fd = descriptor->fd;
	CDescriptorTable::Default().Add(std::move(descriptor));
	return fd;
}

int dev_close(int fd)
{
	if (CDescriptorTable::Default().Remove(fd) == nullptr) {
		errno = EBADF;
		return -1;
	}
	return 0;
}

int dev_ioctl(int fd, int request, void* arg, size_t size)
{
	std::shared_ptr<DESCRIPTOR> descriptor = CDescriptorTable::Default().Find(fd);
	if (descriptor == nullptr) {
		errno = EBADF;
		return -1;
	}
	if (request != B_RAW_DEVICE_COMMAND) {
		errno = ENOTTY;
		return -1;
	}
	if (arg == nullptr || (size != 0 && size < sizeof(raw_device_command))) {
		errno = EINVAL;
		return -1;
	}
	raw_device_command* command = static_cast<raw_device_command*>(arg);
	if (!ValidCommand(*command)) {
		command->cam_status = CAM_REQ_INVALID;
		errno = EINVAL;
		return -1;
	}

	command->duration = 0;
	const bigtime_t started = system_time();
	int result = 0;
	if (!descriptor->isVirtual) {
		result = SgExecuteRawCommand(descriptor->fd, command);
	} else {
		std::shared_ptr<CVirtualDevice> device
			= CDeviceNamespace::Default().FindVirtual(descriptor->virtualId);
		if (device == nullptr) {
			command->cam_status = CAM_DEV_NOT_THERE;
			errno = ENODEV;
			return -1;
		}
		command->scsi_status = 0;
		command->cam_status = CAM_REQ_INPROG;
		status_t status = device->Execute(command);
		if (status != B_OK) {
			errno = ErrnoFromStatus(status);
			result = -1;
		}
	}
	const bigtime_t real = system_time() - started;
	if (command->duration > real)
		tTimeBeyondReal += command->duration - real;
	return result;
}

bigtime_t dev_command_time_beyond_real()
{
	return tTimeBeyondReal;
}

size_t dev_max_transfer_length(int fd)
{
	std::shared_ptr<DESCRIPTOR> descriptor = CDescriptorTable::Default().Find(fd);
	if (descriptor == nullptr) {
		errno = EBADF;
		return 0;
	}
	return descriptor->maxTransfer;
}

status_t dev_read_cd_audio(int fd, int32 lba, int32 count, void* buffer)
{
	std::shared_ptr<DESCRIPTOR> descriptor = CDescriptorTable::Default().Find(fd);
	if (descriptor == nullptr)
		return B_FILE_ERROR;
	if (lba < 0 || count < 1 || buffer == nullptr || int64(lba) + count > INT32_MAX)
		return B_BAD_VALUE;

	if (descriptor->isVirtual) {
		std::shared_ptr<CVirtualDevice> device
			= CDeviceNamespace::Default().FindVirtual(descriptor->virtualId);
		if (device == nullptr)
			return B_DEV_BAD_DRIVE_NUM;
		return device->ReadAudio(lba, count, buffer);
	}

	if (descriptor->isBlockDevice)
		return ReadCdAudioBlockDevice(descriptor->fd, lba, count, buffer);

	// A raw descriptor: through the drive's block device when it has one.
	int audioFd = -1;
	{
		std::lock_guard<std::mutex> lock(descriptor->audioLock);
		if (!descriptor->audioOpenTried && !descriptor->srPath.empty()) {
			descriptor->audioOpenTried = true;
			descriptor->audioFd = OpenLinuxDevice(descriptor->srPath, false);
		}
		audioFd = descriptor->audioFd;
	}
	if (audioFd >= 0)
		return ReadCdAudioBlockDevice(audioFd, lba, count, buffer);
	return ReadCdAudioScsi(descriptor->fd, lba, count, buffer, descriptor->maxTransfer);
}
