#include "kit/media/MediaLibraryInfo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace {

std::string Version(const char* name, unsigned version)
{
	return std::string(name) + " " + std::to_string(AV_VERSION_MAJOR(version)) + "."
		+ std::to_string(AV_VERSION_MINOR(version)) + "." + std::to_string(AV_VERSION_MICRO(version));
}

}   // namespace

std::string MediaLibraryVersions()
{
	return Version("libavformat", avformat_version()) + ", " + Version("libavcodec", avcodec_version()) + ", "
		+ Version("libavutil", avutil_version());
}

std::string MediaLibraryLicense()
{
	const char* license = avutil_license();
	return license != nullptr ? license : "";
}
