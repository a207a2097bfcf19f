#include "ui/CddaReadSetupWindow.h"

#include "frame/Preference.h"
#include "kit/support/Message.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The stored placement when it lies on a screen; else a frame that only
// places the window (its contents size it), centred.
BRect InitialFrame()
{
	BRect none(0, 0, -1, -1);
	BRect stored = LoadWindowPlacement(kCddaReadSetupWindowTitle, none);
	if (stored.IsValid()) {
		QRect area(int(stored.left), int(stored.top), int(stored.Width()) + 1, int(stored.Height()) + 1);
		for (QScreen* screen : QGuiApplication::screens()) {
			if (screen->availableGeometry().intersects(area))
				return BRect(stored.left, stored.top, stored.left - 1, stored.top - 1);
		}
	}
	if (QScreen* screen = QGuiApplication::primaryScreen()) {
		QRect area = screen->availableGeometry();
		float left = area.left() + area.width() / 2 - 170;
		float top = area.top() + area.height() / 2 - 120;
		return BRect(left, top, left - 1, top - 1);
	}
	return none;
}

}   // namespace

void ShowCddaReadSetupWindow(const char* deviceRecordName)
{
	if (BWindow* window = FindWindow(kCddaReadSetupWindowTitle)) {
		window->Activate();
		return;
	}
	auto* window = new CCddaReadSetupWindow(deviceRecordName);
	window->Show();
}

CCddaReadSetupWindow::CCddaReadSetupWindow(const char* deviceRecordName, const std::vector<FileFormatPair>* pairs)
	:
	BWindow(InitialFrame(), kCddaReadSetupWindowTitle),
	fView(deviceRecordName)
{
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(10, 10, 10, 10);

	auto* form = new QFormLayout;
	fFileFormat = new QComboBox(this);
	fFileFormat->setObjectName("FileFormat");
	form->addRow("Output format:", fFileFormat);
	layout->addLayout(form);

	fBeginning = new QCheckBox("Remove digital silence at beginning", this);
	fBeginning->setObjectName("Remove digital silence at beginning");
	fEnding = new QCheckBox("Remove digital silence at ending", this);
	fEnding->setObjectName("Remove digital silence at ending");
	layout->addWidget(fBeginning);
	layout->addWidget(fEnding);

	if (deviceRecordName != nullptr && deviceRecordName[0] != '\0') {
		fDrive = new QGroupBox(QString::fromUtf8(deviceRecordName), this);
		auto* driveForm = new QFormLayout(fDrive);
		fSyncMode = new QComboBox(fDrive);
		fSyncMode->setObjectName("read sync mode");
		fSyncMode->addItem("Off", READ_SYNC_OFF);
		fSyncMode->addItem("Always", READ_SYNC_ALWAYS);
		fSyncMode->addItem("Auto", READ_SYNC_AUTO);
		fSyncSectors = new QSpinBox(fDrive);
		fSyncSectors->setObjectName("read sync sectors");
		fSyncSectors->setRange(0, kMaxReadSyncSectors);
		fReadOffset = new QSpinBox(fDrive);
		fReadOffset->setObjectName("read offset");
		fReadOffset->setRange(-kMaxReadOffsetSamples, kMaxReadOffsetSamples);
		fReadOffset->setSuffix(" samples");
		driveForm->addRow("Read synchronisation:", fSyncMode);
		driveForm->addRow("Overlap sectors:", fSyncSectors);
		driveForm->addRow("Read offset:", fReadOffset);
		layout->addWidget(fDrive);
		connect(fSyncMode, &QComboBox::currentIndexChanged, this,
			[this](int index) { _Post(CDDA_READ_SETUP_SYNC_MODE, fSyncMode->itemData(index).toInt()); });
		connect(fSyncSectors, &QSpinBox::valueChanged, this,
			[this](int value) { _Post(CDDA_READ_SETUP_SYNC_SECTORS, value); });
		connect(fReadOffset, &QSpinBox::valueChanged, this,
			[this](int value) { _Post(CDDA_READ_SETUP_READ_OFFSET, value); });
	}

	auto* buttons = new QHBoxLayout;
	buttons->addStretch(1);
	fRevert = new QPushButton("Revert", this);
	fRevert->setObjectName("Revert");
	buttons->addWidget(fRevert);
	layout->addLayout(buttons);

	connect(fFileFormat, &QComboBox::currentIndexChanged, this, [this](int index) {
		if (fRendering || index < 0 || index >= int(fView.FileFormats().size()))
			return;
		const FileFormatPair& pair = fView.FileFormats()[size_t(index)];
		BMessage message(CDDA_READ_SETUP_FORMAT);
		message.AddString(kFormatShortNameKey, pair.formatShortName);
		message.AddString(kCodecShortNameKey, pair.codecShortName);
		PostMessage(&message);
	});
	connect(fBeginning, &QCheckBox::toggled, this,
		[this](bool on) { _Post(CDDA_READ_SETUP_SILENCE_BEGINNING, on ? 1 : 0); });
	connect(fEnding, &QCheckBox::toggled, this, [this](bool on) { _Post(CDDA_READ_SETUP_SILENCE_ENDING, on ? 1 : 0); });
	connect(fRevert, &QPushButton::clicked, this, [this] { _Post(CDDA_READ_SETUP_REVERT, 0); });

	fView.SetTarget(Messenger());
	if (pairs != nullptr)
		fView.SetFileFormats(*pairs);
	fView.AttachedToWindow();
	_Render();
	resize(sizeHint().expandedTo(QSize(340, 0)));
}

CCddaReadSetupWindow::~CCddaReadSetupWindow() = default;

void CCddaReadSetupWindow::MessageReceived(BMessage* message)
{
	if (message->what == CDDA_READ_SETUP_CHANGED) {
		_Render();
		return;
	}
	if (!fView.MessageReceived(message))
		BWindow::MessageReceived(message);
}

bool CCddaReadSetupWindow::QuitRequested()
{
	SaveWindowPlacement(kCddaReadSetupWindowTitle, Frame());
	fView.DetachedFromWindow();
	return true;
}

void CCddaReadSetupWindow::_Post(uint32 what, int32 value)
{
	if (fRendering)
		return;
	BMessage message(what);
	message.AddInt32("value", value);
	PostMessage(&message);
}

void CCddaReadSetupWindow::_Render()
{
	fRendering = true;
	const CddaReadSetupDisplay& display = fView.Display();
	{
		QSignalBlocker block(fFileFormat);
		if (fFileFormat->count() != int(display.fileFormatLabels.size())) {
			fFileFormat->clear();
			for (const std::string& label : display.fileFormatLabels)
				fFileFormat->addItem(QString::fromStdString(label));
		}
		fFileFormat->setCurrentIndex(display.markedFileFormat);
	}
	{
		QSignalBlocker block(fBeginning);
		fBeginning->setChecked(display.removeSilenceAtBeginning);
	}
	{
		QSignalBlocker block(fEnding);
		fEnding->setChecked(display.removeSilenceAtEnding);
		fEnding->setEnabled(display.removeSilenceAtEndingEnabled);
	}
	fRevert->setEnabled(display.revertEnabled);
	if (fDrive != nullptr) {
		QSignalBlocker a(fSyncMode), b(fSyncSectors), c(fReadOffset);
		fSyncMode->setCurrentIndex(fSyncMode->findData(display.readSyncMode));
		fSyncSectors->setValue(display.readSyncSectors);
		fSyncSectors->setEnabled(display.readSyncMode != READ_SYNC_OFF);
		fReadOffset->setValue(display.readOffset);
	}
	fRendering = false;
}
