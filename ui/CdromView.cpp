#include "ui/CdromView.h"

#include "devices/Device.h"
#include "extraction/DiscIds.h"
#include "kit/app/MessageTarget.h"
#include "kit/interface/Alert.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Launcher.h"
#include "kit/support/Message.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <map>
#include <mutex>

const char* const kCdTrackMimeType = "application/x-tarnwick-cd-tracks";
const char* const kCdDragSourceField = "tarnwick:drag_source";

namespace {

std::mutex sPagesLock;
std::map<int64, BMessenger> sPages;
int64 sNextPage = 1;

constexpr int kIconSize = 22;

// The buttons' images: a symbol, drawn light when up and dark when pressed.
QPixmap ButtonImage(const char* kind, bool pressed)
{
	QPixmap pixmap(kIconSize, kIconSize);
	pixmap.fill(Qt::transparent);
	QPainter painter(&pixmap);
	painter.setRenderHint(QPainter::Antialiasing);
	QColor color = pressed ? QColor(20, 60, 140) : QColor(60, 110, 200);
	painter.setBrush(color);
	painter.setPen(Qt::NoPen);
	std::string name = kind;
	if (name == "play") {
		QPolygonF triangle({QPointF(6, 4), QPointF(18, 11), QPointF(6, 18)});
		painter.drawPolygon(triangle);
	} else if (name == "stop") {
		painter.drawRect(QRectF(5, 5, 12, 12));
	} else if (name == "eject") {
		painter.drawPolygon(QPolygonF({QPointF(4, 13), QPointF(11, 4), QPointF(18, 13)}));
		painter.drawRect(QRectF(4, 15, 14, 3));
	} else if (name == "edit") {
		painter.translate(11, 11);
		painter.rotate(-45);
		painter.drawRect(QRectF(-8, -2.5, 13, 5));
		painter.drawPolygon(QPolygonF({QPointF(5, -2.5), QPointF(9, 0), QPointF(5, 2.5)}));
	} else {   // add a copy
		painter.drawRect(QRectF(9, 3, 4, 16));
		painter.drawRect(QRectF(3, 9, 16, 4));
	}
	return pixmap;
}

}   // namespace

// Delivers the drive's messages to the page on the GUI thread; stays safe
// after the page is gone.
class CCdromPageTarget : public BMessageTarget {
public:
	explicit CCdromPageTarget(CCdromPage* page) : fPage(page) {}

	status_t Enqueue(BMessage* message, int32, bigtime_t) override
	{
		std::lock_guard<std::mutex> lock(fLock);
		if (!fOpen)
			return B_BAD_PORT_ID;
		std::shared_ptr<BMessage> owned(message);
		QPointer<CCdromPage> page = fPage;
		if (!PostToGuiThread([page, owned] {
				if (page != nullptr)
					page->HandleMessage(owned.get());
			}))
			return B_BAD_PORT_ID;
		return B_OK;
	}
	bool IsOpen() const override
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fOpen;
	}
	void Close()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fOpen = false;
	}

private:
	mutable std::mutex fLock;
	QPointer<CCdromPage> fPage;
	bool fOpen = true;
};

status_t PostCdDragReply(const BMessage* drag, const BMessage* reply)
{
	int64 source = 0;
	if (drag == nullptr || reply == nullptr || drag->FindInt64(kCdDragSourceField, &source) != B_OK)
		return B_BAD_VALUE;
	BMessenger page;
	{
		std::lock_guard<std::mutex> lock(sPagesLock);
		auto found = sPages.find(source);
		if (found == sPages.end())
			return B_BAD_VALUE;
		page = found->second;
	}
	return page.SendMessage(const_cast<BMessage*>(reply));
}

CCdromPage::CCdromPage(CDevice* device, CdromViewHooks hooks, QWidget* parent)
	:
	QWidget(parent),
	fView(std::make_unique<CCdromView>(device, std::move(hooks))),
	fTarget(std::make_shared<CCdromPageTarget>(this)),
	fMessenger(fTarget)
{
	setObjectName("CdromView");
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(4, 4, 4, 4);

	fList = new QTreeWidget(this);
	fList->setObjectName("TrackList");
	fList->setColumnCount(4);
	fList->setHeaderLabels({"#", "Artist", "Title", "Length"});
	fList->setRootIsDecorated(false);
	fList->setSelectionMode(QAbstractItemView::ExtendedSelection);
	fList->setContextMenuPolicy(Qt::CustomContextMenu);
	fList->header()->setStretchLastSection(false);
	fList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
	fList->header()->setSectionResizeMode(2, QHeaderView::Stretch);
	fList->viewport()->installEventFilter(this);
	layout->addWidget(fList, 1);
	connect(fList, &QTreeWidget::itemSelectionChanged, this, [this] { _SelectionChanged(); });
	connect(fList, &QTreeWidget::customContextMenuRequested, this,
		[this](const QPoint& at) { ShowContextMenu(fList->viewport()->mapToGlobal(at)); });
	connect(fList, &QTreeWidget::itemDoubleClicked, this,
		[this](QTreeWidgetItem* item) { fView->Play(fList->indexOfTopLevelItem(item)); });

	// The disc's ids wrap rather than widen the pane.
	fIds = new QLabel(this);
	fIds->setObjectName("DiscIds");
	fIds->setTextInteractionFlags(Qt::TextSelectableByMouse);
	fIds->setWordWrap(true);
	layout->addWidget(fIds);
	fLookup = new QPushButton("Look up on MusicBrainz", this);
	fLookup->setObjectName("btnLookup");
	connect(fLookup, &QPushButton::clicked, this, [this] { RunCommand(CDROM_MENU_LOOKUP); });

	// The five buttons show their images; their names are their tool tips.
	auto* buttons = new QHBoxLayout;
	struct {
		const char* name;
		const char* label;
		const char* image;
		uint32 command;
	} const kButtons[] = {
		{"btnPlay", "Play", "play", CDROM_MENU_PLAY},
		{"btnStop", "Stop", "stop", CDROM_MENU_STOP},
		{"btnEjectLoad", "Eject", "eject", CDROM_MENU_EJECT},
		{"btnEdit", "Edit Track Properties", "edit", CDROM_MENU_EDIT},
		{"btnAddCopy", "Add A Copy", "add_a_copy", CDROM_MENU_ADD_COPY},
	};
	for (const auto& entry : kButtons) {
		auto* button = new QToolButton(this);
		button->setObjectName(entry.name);
		button->setToolTip(entry.label);
		button->setText(entry.label);
		button->setToolButtonStyle(Qt::ToolButtonIconOnly);
		button->setAccessibleName(entry.label);
		QIcon icon;
		icon.addPixmap(ButtonImage(entry.image, false), QIcon::Normal, QIcon::Off);
		icon.addPixmap(ButtonImage(entry.image, true), QIcon::Active, QIcon::On);
		button->setIcon(icon);
		button->setIconSize(QSize(kIconSize, kIconSize));
		uint32 command = entry.command;
		connect(button, &QToolButton::pressed, button,
			[button, image = entry.image] { button->setIcon(QIcon(ButtonImage(image, true))); });
		connect(button, &QToolButton::released, button,
			[button, image = entry.image] { button->setIcon(QIcon(ButtonImage(image, false))); });
		connect(button, &QToolButton::clicked, this, [this, command] { RunCommand(command); });
		buttons->addWidget(button);
	}
	buttons->addStretch(1);
	buttons->addWidget(fLookup);
	layout->addLayout(buttons);

	// The shortcuts, active in the window while the page is shown.
	const std::pair<char, uint32> kShortcuts[] = {{'A', CDROM_MENU_EDIT_ARTIST}, {'T', CDROM_MENU_EDIT_TITLE},
		{'E', CDROM_MENU_EDIT}, {'B', CDROM_MENU_SWAP}, {'R', CDROM_MENU_READ_CD_TEXT}, {'C', CDROM_MENU_ADD_COPY},
		{'I', CDROM_MENU_GET_INFO}};
	for (auto [key, command] : kShortcuts) {
		auto* action = new QAction(this);
		action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(key)));
		action->setShortcutContext(Qt::WindowShortcut);
		connect(action, &QAction::triggered, this, [this, command = command] { RunCommand(command); });
		addAction(action);
	}

	{
		std::lock_guard<std::mutex> lock(sPagesLock);
		setProperty("tarnwick_page", QVariant::fromValue<qlonglong>(sNextPage));
		sPages[sNextPage++] = fMessenger;
	}
	fView->AttachedToWindow(fMessenger);
	fAttached = true;
	_Render();
}

CCdromPage::~CCdromPage()
{
	fView->DetachedFromWindow();
	fTarget->Close();
	std::lock_guard<std::mutex> lock(sPagesLock);
	sPages.erase(property("tarnwick_page").toLongLong());
}

QToolButton* CCdromPage::Button(const char* name) const
{
	return findChild<QToolButton*>(name);
}

void CCdromPage::HandleMessage(BMessage* message)
{
	if (message->what == CDROM_DRAG_ACTION_COPY) {
		fView->DragReply(message);
		return;
	}
	if (!fView->MessageReceived(message))
		return;
	if (message->what == M_NOTIFY_CD_INSERTED) {
		// The disc's ids, from its table of contents.
		DiscLayout layout = DiscLayoutFromToc(fView->Device()->GetToc());
		if (layout.IsValid()) {
			char cddb[16];
			snprintf(cddb, sizeof(cddb), "%08x", unsigned(CddbDiscId(layout)));
			fView->SetDiscIds(cddb, MusicBrainzDiscId(layout));
		}
	} else if (message->what == M_NOTIFY_CD_REMOVED) {
		fView->SetDiscIds("", "");
	}
	if (message->what == M_NOTIFY_TOC_UPDATE) {
		int32 track = message->GetInt32("track", 0);
		if (track > 0)
			_RenderRow(track - 1);
	} else {
		_Render();
	}
}

void CCdromPage::_RenderRow(int32 row)
{
	if (row < 0 || row >= int32(fView->Rows().size()) || row >= fList->topLevelItemCount())
		return;
	const CdTrackRow& data = fView->Rows()[size_t(row)];
	QTreeWidgetItem* item = fList->topLevelItem(row);
	item->setText(0, QString::fromStdString(data.number));
	item->setText(1, QString::fromUtf8(data.artist.c_str()));
	item->setText(2, QString::fromUtf8(data.title.c_str()));
	item->setText(3, QString::fromStdString(data.length));
}

void CCdromPage::_Render()
{
	QSignalBlocker blocker(fList);
	std::vector<int32> selection = fView->Selection();
	fList->clear();
	for (size_t row = 0; row < fView->Rows().size(); row++) {
		fList->addTopLevelItem(new QTreeWidgetItem);
		_RenderRow(int32(row));
	}
	for (int32 row : selection) {
		if (row < fList->topLevelItemCount())
			fList->topLevelItem(row)->setSelected(true);
	}
	for (int column = 0; column < 4; column++) {
		if (column != 1 && column != 2)
			fList->resizeColumnToContents(column);
	}
	bool ids = !fView->CddbId().empty() || !fView->MusicBrainzId().empty();
	fIds->setText(ids ? QString::fromStdString("CDDB: " + fView->CddbId() + "    MusicBrainz: "
							+ fView->MusicBrainzId())
					  : QString());
	fIds->setVisible(ids);
	fLookup->setVisible(!fView->MusicBrainzId().empty());
}

void CCdromPage::_SelectionChanged()
{
	// Rows keep the order in which they were selected.
	std::vector<int32> order;
	for (int32 row : fView->Selection()) {
		if (row < fList->topLevelItemCount() && fList->topLevelItem(row)->isSelected())
			order.push_back(row);
	}
	for (int32 row = 0; row < fList->topLevelItemCount(); row++) {
		if (fList->topLevelItem(row)->isSelected() && std::find(order.begin(), order.end(), row) == order.end())
			order.push_back(row);
	}
	fView->SetSelection(order);
}

void CCdromPage::ShowContextMenu(const QPoint& globalPosition)
{
	QMenu menu(this);
	std::function<void(QMenu*, const std::vector<CdMenuItem>&)> build
		= [&](QMenu* into, const std::vector<CdMenuItem>& items) {
			  for (const CdMenuItem& item : items) {
				  if (item.label.empty()) {
					  into->addSeparator();
				  } else if (item.command == 0) {
					  QMenu* sub = into->addMenu(QString::fromUtf8(item.label.c_str()));
					  build(sub, item.submenu);
					  sub->setEnabled(!item.submenu.empty());
				  } else {
					  QAction* action = into->addAction(QString::fromUtf8(item.label.c_str()));
					  if (item.shortcut != 0)
						  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(item.shortcut)));
					  uint32 command = item.command;
					  CProject* project = item.project;
					  connect(action, &QAction::triggered, this,
						  [this, command, project] { RunCommand(command, project); });
				  }
			  }
		  };
	build(&menu, fView->ContextMenu());
	menu.exec(globalPosition);
}

void CCdromPage::_EditText(bool artist)
{
	if (fView->Selection().empty())
		return;
	QInputDialog dialog(this);
	dialog.setWindowTitle(artist ? "Edit Artist" : "Edit Title");
	dialog.setLabelText(artist ? "Artist:" : "Title:");
	dialog.setOkButtonText("Change");
	dialog.setCancelButtonText("Cancel");
	const CdTrackRow& first = fView->Rows()[size_t(fView->Selection().front())];
	dialog.setTextValue(QString::fromUtf8((artist ? first.artist : first.title).c_str()));
	if (dialog.exec() != QDialog::Accepted)
		return;
	std::string text = dialog.textValue().toStdString();
	if (artist)
		fView->SetArtist(text.c_str());
	else
		fView->SetTitle(text.c_str());
	for (int32 row : fView->Selection())
		_RenderRow(row);
}

void CCdromPage::RunCommand(uint32 command, CProject* project)
{
	switch (command) {
		case CDROM_MENU_PLAY:
			fView->Play();
			break;
		case CDROM_MENU_STOP:
			fView->Stop();
			break;
		case CDROM_MENU_GET_INFO:
			(new BAlert("Get Info", "There is no further information about the selected tracks.", "OK"))->Go();
			break;
		case CDROM_MENU_EDIT_ARTIST:
			_EditText(true);
			break;
		case CDROM_MENU_EDIT_TITLE:
			_EditText(false);
			break;
		case CDROM_MENU_EDIT:
			fView->Edit();
			break;
		case CDROM_MENU_SWAP:
			fView->SwapArtistAndTitle();
			for (int32 row : fView->Selection())
				_RenderRow(row);
			break;
		case CDROM_MENU_READ_CD_TEXT:
			if (fView->ReadCdText())
				_Render();
			break;
		case CDROM_MENU_ADD_COPY:
			fView->AddCopy();
			break;
		case CDROM_MENU_ADD_COPY_TO:
			fView->AddCopyTo(project);
			break;
		case CDROM_MENU_EJECT:
			fView->Eject();
			break;
		case CDROM_MENU_LOOKUP: {
			std::string url = fView->MusicBrainzUrl();
			if (!url.empty())
				OpenWithPreferredApplication(url.c_str());
			break;
		}
		default:
			break;
	}
}

bool CCdromPage::eventFilter(QObject* object, QEvent* event)
{
	if (object == fList->viewport()) {
		if (event->type() == QEvent::MouseButtonPress) {
			fPressPosition = static_cast<QMouseEvent*>(event)->position().toPoint();
		} else if (event->type() == QEvent::MouseMove) {
			auto* move = static_cast<QMouseEvent*>(event);
			if ((move->buttons() & Qt::LeftButton) != 0 && !fView->Selection().empty()
				&& (move->position().toPoint() - fPressPosition).manhattanLength()
					>= QApplication::startDragDistance()) {
				_StartDrag(fPressPosition);
				return true;
			}
		}
	}
	return QWidget::eventFilter(object, event);
}

QMimeData* CCdromPage::SelectionMimeData(const QPoint& position) const
{
	if (fView->Selection().empty())
		return nullptr;
	QPoint inWindow = fList->viewport()->mapTo(window(), position);
	bool control = (QApplication::keyboardModifiers() & Qt::ControlModifier) != 0;
	BMessage drag = fView->DragMessage(BPoint(float(inWindow.x()), float(inWindow.y())), true, control);
	drag.AddInt64(kCdDragSourceField, property("tarnwick_page").toLongLong());
	std::string flat;
	if (drag.Flatten(&flat) != B_OK)
		return nullptr;
	auto* data = new QMimeData;
	data->setData(kCdTrackMimeType, QByteArray(flat.data(), qsizetype(flat.size())));
	return data;
}

void CCdromPage::_StartDrag(const QPoint& position)
{
	QMimeData* data = SelectionMimeData(position);
	if (data == nullptr)
		return;
	auto* qdrag = new QDrag(this);
	qdrag->setMimeData(data);
	QPixmap image(20, 35);
	image.fill(QColor(60, 110, 200, 120));
	qdrag->setPixmap(image);
	qdrag->exec(Qt::CopyAction);
}
