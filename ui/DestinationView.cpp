#include "ui/DestinationView.h"

#include "kit/interface/qt/Window.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "projects/Project.h"
#include "projects/ProjectRoster.h"
#include "ui/CdromView.h"
#include "ui/ProjectPageFactory.h"

#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

CDestinationView* pDestinationView = nullptr;

namespace {

CProject* ProjectOf(const BMessage* message)
{
	void* pointer = nullptr;
	message->FindPointer("Project", &pointer);
	return static_cast<CProject*>(pointer);
}

}   // namespace

CDestinationView::CDestinationView(BWindow* window, CProjectRoster* roster, QWidget* parent)
	:
	CContainerView("destination-container-view", "Destination", parent),
	fWindow(window),
	fModel(std::make_unique<CDestinationModel>(window->Messenger(), window->Messenger(), roster)),
	fTabs(findChild<QTabWidget*>())
{
	pDestinationView = this;
	setAcceptDrops(true);
	connect(fTabs, &QTabWidget::currentChanged, this, [this](int index) {
		QWidget* page = fTabs->widget(index);
		CProject* project = nullptr;
		for (const auto& [key, value] : fPageMap) {
			if (value == page)
				project = key;
		}
		fModel->SetActiveProject(project);
	});
	fModel->Attach();
}

CDestinationView::~CDestinationView()
{
	DetachFromRoster();
	if (pDestinationView == this)
		pDestinationView = nullptr;
}

void CDestinationView::DetachFromRoster()
{
	// The pages go first: they may use their projects until then.
	while (!fPageMap.empty())
		_RemovePageWidget(fPageMap.begin()->first);
	fModel->Detach();
}

QWidget* CDestinationView::PageOf(CProject* project) const
{
	auto found = fPageMap.find(project);
	return found != fPageMap.end() ? found->second : nullptr;
}

bool CDestinationView::HandleMessage(BMessage* message)
{
	switch (message->what) {
		case DEST_PAGE_ADDED: {
			CProject* project = ProjectOf(message);
			if (project == nullptr || PageOf(project) != nullptr || fModel->FindPage(project) == nullptr)
				return true;   // already gone again
			std::string label;
			message->FindString("label", &label);
			QWidget* page = CreateProjectPage(project);
			fPageMap[project] = page;
			QSignalBlocker block(fTabs);
			AddPage(page, label.c_str());
			if (QWidget* active = PageOf(fModel->ActiveProject()))
				SetActivePage(active);
			emit PagesChanged();
			return true;
		}
		case PROJECT_REMOVED:
			// The page goes before the model gives the project back: the
			// roster may delete it then.
			_RemovePageWidget(ProjectOf(message));
			return fModel->MessageReceived(message);
		case DEST_PAGE_REMOVED:
			_RemovePageWidget(ProjectOf(message));
			return true;
		case DEST_PAGE_RENAMED: {
			std::string label;
			message->FindString("label", &label);
			if (QWidget* page = PageOf(ProjectOf(message)))
				SetPageLabel(page, label.c_str());
			emit PagesChanged();
			return true;
		}
		case DEST_PAGE_ACTIVATED:
			if (QWidget* page = PageOf(ProjectOf(message))) {
				QSignalBlocker block(fTabs);
				SetActivePage(page);
			}
			return true;
		case DEST_PAGE_MESSAGE: {
			BMessage inner;
			QWidget* page = PageOf(ProjectOf(message));
			if (page != nullptr && message->FindMessage("message", &inner) == B_OK)
				DeliverToProjectPage(page, &inner);
			return true;
		}
		case DEST_ASK_NAME:
			_ShowNameDialog(message);
			return true;
		default:
			return fModel->MessageReceived(message);
	}
}

QMenu* CDestinationView::MakePopUpMenu()
{
	auto* menu = new QMenu(this);
	for (const MENU_ITEM_RECORD& item : fModel->PopUpMenu()) {
		if (item.separator) {
			menu->addSeparator();
			continue;
		}
		QAction* action = menu->addAction(QString::fromUtf8(item.label));
		action->setEnabled(item.enabled);
		action->setData(QVariant::fromValue(item.command));
		uint32 command = item.command;
		connect(action, &QAction::triggered, this, [this, command] { fWindow->PostMessage(command); });
	}
	return menu;
}

void CDestinationView::_RemovePageWidget(CProject* project)
{
	QWidget* page = PageOf(project);
	if (page == nullptr)
		return;
	fPageMap.erase(project);
	{
		QSignalBlocker block(fTabs);
		RemovePage(page);
		if (QWidget* active = PageOf(fModel->ActiveProject()))
			SetActivePage(active);
	}
	delete page;
	emit PagesChanged();
}

void CDestinationView::contextMenuEvent(QContextMenuEvent* event)
{
	QMenu* menu = MakePopUpMenu();
	menu->setAttribute(Qt::WA_DeleteOnClose);
	menu->popup(event->globalPos());
}

void CDestinationView::_ShowNameDialog(const BMessage* ask)
{
	if (fNameDialog != nullptr)
		fNameDialog->close();
	std::string prompt;
	std::string text;
	std::string button;
	int32 reply = 0;
	ask->FindString("prompt", &prompt);
	ask->FindString("text", &text);
	ask->FindString("button", &button);
	ask->FindInt32("reply", &reply);
	CProject* project = ProjectOf(ask);

	auto* dialog = new QDialog(this);
	dialog->setObjectName("project-name-dialog");
	dialog->setWindowTitle(QString::fromUtf8(prompt));
	dialog->setAttribute(Qt::WA_DeleteOnClose);
	auto* layout = new QVBoxLayout(dialog);
	layout->addWidget(new QLabel(QString::fromUtf8(prompt), dialog));
	auto* edit = new QLineEdit(QString::fromUtf8(text), dialog);
	edit->selectAll();
	layout->addWidget(edit);
	auto* buttons = new QDialogButtonBox(dialog);
	buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
	QPushButton* confirm = buttons->addButton(QString::fromUtf8(button), QDialogButtonBox::AcceptRole);
	confirm->setDefault(true);
	layout->addWidget(buttons);
	connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
	connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, edit, reply, project] {
		BMessage answer {uint32(reply)};
		answer.AddString("text", edit->text().toStdString());
		if (project != nullptr)
			answer.AddPointer("Project", project);
		fWindow->PostMessage(&answer);
		dialog->accept();
	});
	connect(dialog, &QObject::destroyed, this, [this, dialog] {
		if (fNameDialog == dialog)
			fNameDialog = nullptr;
	});
	fNameDialog = dialog;
	dialog->setMinimumWidth(300);
	dialog->open();
}

// Files from the desktop dropped on the pane (not on a page that takes
// drops itself): the active project gets them, or a new one when there is
// none. Ctrl copies, Shift moves, a plain drop links.
void CDestinationView::dragEnterEvent(QDragEnterEvent* event)
{
	if (event->mimeData()->hasUrls() || event->mimeData()->hasFormat(QString::fromLatin1(kCdTrackMimeType)))
		event->acceptProposedAction();
}

void CDestinationView::dragMoveEvent(QDragMoveEvent* event)
{
	if (event->mimeData()->hasUrls() || event->mimeData()->hasFormat(QString::fromLatin1(kCdTrackMimeType)))
		event->acceptProposedAction();
}

void CDestinationView::dropEvent(QDropEvent* event)
{
	// Tracks of a drive page go to the active page (or a new project) like
	// any drop; that page negotiates the copy with the drive page.
	const QString cdTracks = QString::fromLatin1(kCdTrackMimeType);
	if (event->mimeData()->hasFormat(cdTracks)) {
		const QByteArray flat = event->mimeData()->data(cdTracks);
		BMessage drop;
		if (drop.Unflatten(flat.constData(), size_t(flat.size())) != B_OK || drop.what != B_SIMPLE_DATA)
			return;
		fWindow->PostMessage(&drop);
		event->acceptProposedAction();
		return;
	}
	std::vector<entry_ref> refs;
	for (const QUrl& url : event->mimeData()->urls()) {
		entry_ref ref;
		if (url.isLocalFile() && get_ref_for_path(url.toLocalFile().toUtf8().constData(), &ref) == B_OK)
			refs.push_back(ref);
	}
	if (refs.empty())
		return;
	Qt::KeyboardModifiers modifiers = event->modifiers();
	BMessage drop = MakeFileDropMessage(refs, (modifiers & Qt::ControlModifier) != 0, nullptr);
	if ((modifiers & Qt::ShiftModifier) != 0 && (modifiers & Qt::ControlModifier) == 0)
		drop.AddBool("force_file_move", true);
	// Alt (or the secondary button) asks the page what to do.
	if ((modifiers & Qt::AltModifier) != 0 || (event->buttons() & Qt::RightButton) != 0)
		drop.ReplaceInt32("buttons", 2);
	fWindow->PostMessage(&drop);
	event->acceptProposedAction();
}
