#include "kit/interface/qt/Bitmap.h"

#include <QFile>
#include <QString>

#include <mutex>

// The resources live in a static library: register them before first use.
static void RegisterResources()
{
	Q_INIT_RESOURCE(tarnwick);
}

QImage GetBitmap(const char* name)
{
	static std::once_flag registered;
	std::call_once(registered, RegisterResources);
	if (name == nullptr || name[0] == '\0')
		return QImage();
	QString resource = QStringLiteral(":/bitmaps/") + QString::fromUtf8(name) + QStringLiteral(".png");
	if (QFile::exists(resource))
		return QImage(resource);
	return QImage(QString::fromUtf8(name));
}
