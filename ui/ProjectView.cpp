#include "ui/ProjectView.h"

#include "kit/app/MessageTarget.h"
#include "kit/app/ReplyChannel.h"
#include "kit/interface/qt/Bitmap.h"
#include "kit/interface/qt/GuiThread.h"
#include "kit/interface/qt/Launcher.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/CdromView.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

const char* const kTarnwickMessageMimeType = "application/x-vnd.tarnwick-message";

namespace {

std::mutex sOpenerLock;
RecordSetupOpener sRecordSetupOpener;   // guarded by sOpenerLock
std::function<int32(const std::vector<std::string>&)> sPopUpAnswer;
std::function<bool(const char*, std::string*)> sTextAnswer;

QIcon ButtonIcon(const ProjectViewButton& button)
{
	if (button.themeIcon != nullptr && QIcon::hasThemeIcon(button.themeIcon))
		return QIcon::fromTheme(button.themeIcon);
	// The program's own pair: the pressed image while the button is down.
	QIcon icon;
	icon.addPixmap(QPixmap::fromImage(GetBitmap(button.unpressedImage)), QIcon::Normal, QIcon::Off);
	icon.addPixmap(QPixmap::fromImage(GetBitmap(button.pressedImage)), QIcon::Active, QIcon::On);
	return icon;
}

// Where the project view's answer to a track drag from a drive page goes:
// to the page the drag came from (PostCdDragReply), which asks for the copy.
class CCdDragReplyTarget : public BMessageTarget {
public:
	explicit CCdDragReplyTarget(const BMessage& drag) : fDrag(drag) {}

	status_t Enqueue(BMessage* message, int32, bigtime_t) override
	{
		status_t status = PostCdDragReply(&fDrag, message);
		if (status == B_OK)
			delete message;
		return status;
	}
	bool IsOpen() const override { return true; }

private:
	const BMessage fDrag;
};

// Gives a drop of drive-page tracks the way back to its drive page, however
// it reached this page (dropped on the list, or forwarded by the
// destination pane, which keeps no reply address).
void AttachCdDragReply(BMessage* message)
{
	if (message->what != B_SIMPLE_DATA || !message->HasInt64(kCdDragSourceField))
		return;
	BMessageReplyChannel::Attach(message,
		std::make_shared<BMessageReplyChannel>(BMessenger(std::make_shared<CCdDragReplyTarget>(*message))));
}

bool IsOwnDrag(const QMimeData* data)
{
	return data->hasFormat(QString::fromLatin1(kTarnwickMessageMimeType))
		|| data->hasFormat(QString::fromLatin1(kCdTrackMimeType)) || data->hasUrls();
}

QKeySequence Shortcut(char key)
{
	return QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_A + (key - 'A')));
}

}   // namespace

RecordSetupOpener SetRecordSetupOpener(RecordSetupOpener opener)
{
	std::lock_guard<std::mutex> lock(sOpenerLock);
	std::swap(opener, sRecordSetupOpener);
	return opener;
}

// The page's message target: posts into the GUI event queue and hands the
// message to the page while it exists.
class CProjectPageTarget : public BMessageTarget, public std::enable_shared_from_this<CProjectPageTarget> {
public:
	explicit CProjectPageTarget(CProjectPage* page) : fPage(page) {}

	status_t Enqueue(BMessage* message, int32, bigtime_t) override
	{
		if (message == nullptr)
			return B_BAD_VALUE;
		if (!IsOpen())
			return B_BAD_PORT_ID;
		auto queued = std::make_shared<Queued>(message);
		std::shared_ptr<CProjectPageTarget> self = shared_from_this();
		bool posted = PostToGuiThread([self, queued] {
			if (CProjectPage* page = self->Page())
				page->MessageReceived(queued->message);
		});
		if (!posted) {
			queued->message = nullptr;   // still the sender's
			return B_BAD_PORT_ID;
		}
		return B_OK;
	}
	thread_id TargetThread() const override { return GuiThread(); }
	bool IsOpen() const override
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fPage != nullptr;
	}
	CProjectPage* Page() const
	{
		std::lock_guard<std::mutex> lock(fLock);
		return fPage;
	}
	void Close()
	{
		std::lock_guard<std::mutex> lock(fLock);
		fPage = nullptr;
	}

private:
	struct Queued {
		explicit Queued(BMessage* message) : message(message) {}
		~Queued() { delete message; }
		BMessage* message;
	};

	mutable std::mutex fLock;
	CProjectPage* fPage;
};

// #pragma mark - CProjectDirView

CProjectDirView::CProjectDirView(QWidget* parent)
	:
	QTreeWidget(parent)
{
	setColumnCount(6);
	QStringList titles;
	for (const char* title : kProjectViewColumns)
		titles << QString::fromUtf8(title);
	setHeaderLabels(titles);
	setRootIsDecorated(false);
	setUniformRowHeights(true);
	setAllColumnsShowFocus(true);
	setSelectionMode(QAbstractItemView::ExtendedSelection);
	setSelectionBehavior(QAbstractItemView::SelectRows);
	setDragEnabled(true);
	setAcceptDrops(true);
	viewport()->setAcceptDrops(true);
	setDropIndicatorShown(true);
	setDragDropMode(QAbstractItemView::DragDrop);
	setContextMenuPolicy(Qt::CustomContextMenu);
	// The number and the two times keep the width of their texts; artist,
	// title and file share the rest, so that every column stays in view in
	// a narrow pane instead of the times being pushed out to the right.
	header()->setStretchLastSection(false);
	header()->setMinimumSectionSize(40);
	header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
	const int time = std::max(fontMetrics().horizontalAdvance(QStringLiteral("00:00.00")),
						 header()->fontMetrics().horizontalAdvance(QStringLiteral("Pause")))
		+ 16;
	for (int column : {3, 4}) {
		header()->setSectionResizeMode(column, QHeaderView::Fixed);
		setColumnWidth(column, time);
	}
	for (int column : {1, 2, 5})
		header()->setSectionResizeMode(column, QHeaderView::Stretch);
}

QStringList CProjectDirView::mimeTypes() const
{
	return {QString::fromLatin1(kTarnwickMessageMimeType), QString::fromLatin1(kCdTrackMimeType),
		QStringLiteral("text/uri-list")};
}

Qt::DropActions CProjectDirView::supportedDropActions() const
{
	return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

QMimeData* CProjectDirView::SelectionMimeData() const
{
	QList<QTreeWidgetItem*> items = selectedItems();
	if (items.isEmpty())
		return nullptr;
	int first = topLevelItemCount();
	for (QTreeWidgetItem* item : items)
		first = std::min(first, indexOfTopLevelItem(item));
	const QPoint cursor = viewport()->mapFromGlobal(QCursor::pos());
	QTreeWidgetItem* under = itemAt(cursor);
	const int source = under != nullptr && under->isSelected() ? indexOfTopLevelItem(under) : first;

	BMessage message(B_SIMPLE_DATA);
	message.AddBool(kTrackDragDropFlag, true);
	message.AddPointer("project", project);
	message.AddInt32("source_index", source);
	message.AddInt32("buttons", kPrimaryMouseButton);
	std::string flat;
	if (message.Flatten(&flat) != B_OK)
		return nullptr;
	auto* data = new QMimeData;
	data->setData(QString::fromLatin1(kTarnwickMessageMimeType), QByteArray(flat.data(), qsizetype(flat.size())));
	return data;
}

void CProjectDirView::startDrag(Qt::DropActions)
{
	QMimeData* data = SelectionMimeData();
	if (data == nullptr)
		return;
	auto* drag = new QDrag(this);
	drag->setMimeData(data);
	drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void CProjectDirView::dragEnterEvent(QDragEnterEvent* event)
{
	if (IsOwnDrag(event->mimeData()))
		event->acceptProposedAction();
	else
		event->ignore();
}

void CProjectDirView::dragMoveEvent(QDragMoveEvent* event)
{
	if (IsOwnDrag(event->mimeData()))
		event->acceptProposedAction();
	else
		event->ignore();
}

void CProjectDirView::dropEvent(QDropEvent* event)
{
	if (Drop(event->mimeData(), event->position().toPoint(), event->modifiers()))
		event->acceptProposedAction();
	else
		event->ignore();
}

bool CProjectDirView::Drop(const QMimeData* data, QPoint position, Qt::KeyboardModifiers modifiers)
{
	if (data == nullptr || !dropHandler)
		return false;
	const QString ownType = QString::fromLatin1(kTarnwickMessageMimeType);
	BMessage message(B_SIMPLE_DATA);
	if (data->hasFormat(ownType)) {
		const QByteArray flat = data->data(ownType);
		if (message.Unflatten(flat.constData(), size_t(flat.size())) != B_OK)
			return false;
		if (message.HasData(kTrackDragDropFlag, B_ANY_TYPE)) {
			// Tracks of another page are not reordered here.
			void* source = nullptr;
			if (message.FindPointer("project", &source) != B_OK || source != project)
				return false;
			QTreeWidgetItem* under = itemAt(position);
			const int32 target = under != nullptr ? indexOfTopLevelItem(under) : topLevelItemCount();
			message.RemoveName("target_index");
			message.AddInt32("target_index", target);
		}
	} else if (data->hasFormat(QString::fromLatin1(kCdTrackMimeType))) {
		// Tracks of a drive page: the view negotiates the copy, and its
		// answer goes back to that page.
		const QByteArray flat = data->data(QString::fromLatin1(kCdTrackMimeType));
		if (message.Unflatten(flat.constData(), size_t(flat.size())) != B_OK)
			return false;
		AttachCdDragReply(&message);
	} else if (data->hasUrls()) {
		for (const QUrl& url : data->urls()) {
			if (!url.isLocalFile())
				continue;
			entry_ref ref;
			if (get_ref_for_path(url.toLocalFile().toUtf8().constData(), &ref) == B_OK)
				message.AddRef("refs", &ref);
		}
		if (!message.HasData("refs", B_ANY_TYPE))
			return false;
		if (modifiers & Qt::ControlModifier)
			message.AddBool("force_file_copy", true);
		else if (modifiers & Qt::ShiftModifier)
			message.AddBool("force_file_move", true);
		message.AddInt32("buttons", (modifiers & Qt::AltModifier) ? kSecondaryMouseButton : kPrimaryMouseButton);
	} else {
		return false;
	}
	message.RemoveName("_drop_point_");
	message.AddPoint("_drop_point_", BPoint(float(position.x()), float(position.y())));
	dropHandler(&message);
	return true;
}

// #pragma mark - CProjectPage

CProjectPage::CProjectPage(CProject* project, QWidget* parent, CProjectRoster* roster)
	:
	QWidget(parent),
	fTarget(std::make_shared<CProjectPageTarget>(this))
{
	setObjectName("project-view");
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(4, 4, 4, 4);
	layout->setSpacing(4);

	fList = new CProjectDirView(this);
	fList->setObjectName("CProjectDirView");
	fList->project = project;
	layout->addWidget(fList, 1);

	// The status line beside the buttons, or above them when the page is
	// too narrow for both (_ArrangeBottom).
	fBottom = new QGridLayout;
	fBottom->setHorizontalSpacing(4);
	fBottom->setVerticalSpacing(2);
	fStatus = new QLabel(this);
	fStatus->setObjectName("viewCdSize");
	fStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
	fButtonRow = new QWidget(this);
	auto* bottom = new QHBoxLayout(fButtonRow);
	bottom->setContentsMargins(0, 0, 0, 0);
	bottom->setSpacing(4);
	for (int i = 0; i < 5; i++) {
		const ProjectViewButton& entry = kProjectViewButtons[i];
		auto* button = new QToolButton(fButtonRow);
		button->setObjectName(entry.name);
		button->setToolTip(QString::fromUtf8(entry.toolTip));
		button->setIcon(ButtonIcon(entry));
		button->setIconSize(QSize(24, 24));
		button->setAutoRaise(true);
		const uint32 command = entry.command;
		connect(button, &QToolButton::clicked, this, [this, command] { _Send(BMessage(command)); });
		if (i == 3)
			bottom->addSpacing(8);
		bottom->addWidget(button);
		fButtons[i] = button;
	}
	fButtonRow->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
	layout->addLayout(fBottom);

	fView = std::make_unique<CProjectView>(project, roster != nullptr ? roster : gpProjectRoster, this);
	fView->SetDisplay(Messenger());
	fView->SetPageMessenger(Messenger());
	fList->dropHandler = [this](BMessage* message) { fView->MessageReceived(message); };

	connect(fList, &QTreeWidget::itemSelectionChanged, this, [this] { _SelectionChanged(); });
	connect(fList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
		BMessage play(PROJECT_VIEW_PLAY);
		play.AddInt32("index", fList->indexOfTopLevelItem(item));
		_Send(play);
	});
	connect(fList, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
		QMenu* menu = MakeContextMenu();
		menu->setAttribute(Qt::WA_DeleteOnClose);
		menu->popup(fList->viewport()->mapToGlobal(position));
	});
	_InstallShortcuts();
	_Render();
	_ArrangeBottom();
}

CProjectPage::~CProjectPage()
{
	fTarget->Close();
	fList->dropHandler = nullptr;
}

BMessenger CProjectPage::Messenger() const
{
	return BMessenger(fTarget);
}

void CProjectPage::_Send(const BMessage& message)
{
	BMessage copy(message);
	fView->MessageReceived(&copy);
}

void CProjectPage::MessageReceived(BMessage* message)
{
	switch (message->what) {
		case PROJECT_VIEW_CHANGED:
			_Render();
			break;
		case PROJECT_VIEW_OPEN_RECORD_SETUP: {
			RecordSetupOpener opener;
			{
				std::lock_guard<std::mutex> lock(sOpenerLock);
				opener = sRecordSetupOpener;
			}
			if (opener)
				opener(Project());
			break;
		}
		case B_SIMPLE_DATA:
			AttachCdDragReply(message);
			fView->MessageReceived(message);
			break;
		default:
			fView->MessageReceived(message);
			break;
	}
}

void CProjectPage::_InstallShortcuts()
{
	// The command keys of the context menu, while the page has the focus.
	const std::pair<char, uint32> keys[] = {{'I', PROJECT_VIEW_GET_INFO}, {'A', PROJECT_VIEW_EDIT_ARTIST},
		{'T', PROJECT_VIEW_EDIT_TITLE}, {'B', PROJECT_VIEW_SWAP}, {'P', PROJECT_VIEW_EDIT_PAUSE},
		{'D', PROJECT_VIEW_DELETE}};
	for (const auto& [key, command] : keys) {
		auto* action = new QAction(this);
		action->setShortcut(Shortcut(key));
		action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
		const uint32 what = command;
		connect(action, &QAction::triggered, this, [this, what] { _Send(BMessage(what)); });
		addAction(action);
	}
}

QMenu* CProjectPage::MakeContextMenu()
{
	auto* menu = new QMenu(this);
	std::function<void(QMenu*, const std::vector<ProjectViewMenuItem>&)> fill;
	fill = [&](QMenu* into, const std::vector<ProjectViewMenuItem>& items) {
		for (const ProjectViewMenuItem& item : items) {
			if (item.IsSeparator()) {
				into->addSeparator();
				continue;
			}
			const QString label = QString::fromStdString(item.label);
			if (!item.items.empty() || item.message.what == 0) {
				QMenu* sub = into->addMenu(label);
				sub->setEnabled(item.enabled);
				fill(sub, item.items);
				continue;
			}
			QAction* action = into->addAction(label);
			action->setEnabled(item.enabled);
			if (item.shortcut != 0)
				action->setShortcut(Shortcut(item.shortcut));
			const BMessage message = item.message;
			connect(action, &QAction::triggered, this, [this, message] { _Send(message); });
		}
	};
	fill(menu, fView->ContextMenu());
	return menu;
}

void CProjectPage::_SelectionChanged()
{
	if (fRendering)
		return;
	std::vector<int32> rows;
	for (QTreeWidgetItem* item : fList->selectedItems())
		rows.push_back(fList->indexOfTopLevelItem(item));
	std::sort(rows.begin(), rows.end());
	fView->SetSelection(rows);
}

void CProjectPage::_Render()
{
	const ProjectViewDisplay& display = fView->Display();
	fRendering = true;
	const int count = int(display.rows.size());
	while (fList->topLevelItemCount() > count)
		delete fList->takeTopLevelItem(fList->topLevelItemCount() - 1);
	while (fList->topLevelItemCount() < count) {
		auto* item = new QTreeWidgetItem(fList);
		item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
		item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
	}
	for (int row = 0; row < count; row++) {
		QTreeWidgetItem* item = fList->topLevelItem(row);
		const ProjectViewRow& data = display.rows[size_t(row)];
		for (int column = 0; column < 6; column++)
			item->setText(column, QString::fromStdString(data.columns[size_t(column)]));
		item->setForeground(5, data.fileExists ? palette().text() : QBrush(Qt::red));
		item->setSelected(false);
	}
	for (int32 row : display.selection)
		fList->topLevelItem(row)->setSelected(true);
	fStatus->setText(QString::fromStdString(display.status));
	fRendering = false;
	_ArrangeBottom();
}

void CProjectPage::resizeEvent(QResizeEvent* event)
{
	QWidget::resizeEvent(event);
	_ArrangeBottom();
}

void CProjectPage::_ArrangeBottom()
{
	const QMargins margins = layout()->contentsMargins();
	const int room = width() - margins.left() - margins.right();
	// The line's width on one line (its size hint changes once it wraps).
	const int text = fStatus->fontMetrics().horizontalAdvance(fStatus->text()) + 2 * fStatus->margin() + 4;
	const int needed = text + fBottom->horizontalSpacing() + fButtonRow->sizeHint().width();
	const int beside = room >= needed ? 1 : 0;
	if (beside == fStatusBeside)
		return;
	fStatusBeside = beside;
	fBottom->removeWidget(fStatus);
	fBottom->removeWidget(fButtonRow);
	// Above the buttons, the line wraps rather than being cut.
	fStatus->setWordWrap(beside == 0);
	if (beside == 1) {
		fBottom->addWidget(fStatus, 0, 0);
		fBottom->addWidget(fButtonRow, 0, 1, Qt::AlignRight);
		fBottom->setColumnStretch(0, 1);
	} else {
		fBottom->addWidget(fStatus, 0, 0, 1, 2);
		fBottom->addWidget(fButtonRow, 1, 0, 1, 2, Qt::AlignRight);
		fBottom->setColumnStretch(0, 1);
	}
}

bool CProjectPage::AskText(const char* prompt, const char* okLabel, std::string* text)
{
	if (sTextAnswer)
		return sTextAnswer(prompt, text);
	QInputDialog dialog(this);
	dialog.setLabelText(QString::fromUtf8(prompt));
	dialog.setTextValue(QString::fromStdString(*text));
	dialog.setOkButtonText(QString::fromUtf8(okLabel));
	dialog.setCancelButtonText(QStringLiteral("Cancel"));
	if (dialog.exec() != QDialog::Accepted)
		return false;
	*text = dialog.textValue().toStdString();
	return true;
}

int32 CProjectPage::PopUp(const std::vector<std::string>& items, BPoint where)
{
	if (sPopUpAnswer)
		return sPopUpAnswer(items);
	QMenu menu(this);
	std::vector<QAction*> actions;
	for (const std::string& label : items)
		actions.push_back(label.empty() ? menu.addSeparator() : menu.addAction(QString::fromStdString(label)));
	QAction* chosen = menu.exec(fList->viewport()->mapToGlobal(QPoint(int(where.x), int(where.y))));
	for (size_t i = 0; i < actions.size(); i++) {
		if (actions[i] == chosen && !items[i].empty())
			return int32(i);
	}
	return -1;
}

status_t CProjectPage::OpenFile(const char* path)
{
	return OpenWithPreferredApplication(path);
}

void CProjectPage::SetPopUpAnswer(std::function<int32(const std::vector<std::string>&)> answer)
{
	sPopUpAnswer = std::move(answer);
}

void CProjectPage::SetTextAnswer(std::function<bool(const char* prompt, std::string* text)> answer)
{
	sTextAnswer = std::move(answer);
}
