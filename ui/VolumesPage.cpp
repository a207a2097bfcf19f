#include "ui/VolumesPage.h"

#include "kit/interface/qt/Window.h"
#include "kit/storage/EntryRef.h"
#include "kit/support/Message.h"
#include "projects/DestinationModel.h"
#include "ui/DestinationView.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QStorageInfo>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;
constexpr int kFilledRole = Qt::UserRole + 2;

void MarkFolder(QTreeWidgetItem* item, const QString& path)
{
	item->setData(0, kPathRole, path);
	item->setData(0, kFolderRole, true);
	item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

}   // namespace

bool IsPseudoVolume(const std::string& fileSystem, const std::string& mountPoint)
{
	static const std::set<std::string> kPseudo = {"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2",
		"securityfs", "pstore", "bpf", "tracefs", "debugfs", "configfs", "fusectl", "mqueue", "hugetlbfs",
		"autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "ramfs", "selinuxfs", "squashfs",
		"fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "none", "nfsd", "overlay_lower"};
	if (kPseudo.count(fileSystem) != 0)
		return true;
	if (fileSystem == "tmpfs")
		return mountPoint != "/tmp";
	// Mounts inside the system's own trees are never user volumes.
	for (const char* system : {"/proc", "/sys", "/dev", "/run/user", "/run/credentials", "/snap"}) {
		std::string prefix = system;
		if (mountPoint == prefix || mountPoint.rfind(prefix + "/", 0) == 0)
			return true;
	}
	return false;
}

std::vector<VOLUME_INFO> ListVolumes()
{
	std::vector<VOLUME_INFO> volumes;
	std::set<std::string> seen;
	for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
		if (!storage.isValid() || !storage.isReady())
			continue;
		std::string mountPoint = storage.rootPath().toStdString();
		std::string fileSystem = storage.fileSystemType().toStdString();
		if (IsPseudoVolume(fileSystem, mountPoint) || !seen.insert(mountPoint).second)
			continue;
		VOLUME_INFO volume;
		volume.mountPoint = mountPoint;
		volume.fileSystem = fileSystem;
		volume.name = storage.displayName().toStdString();
		if (volume.name.empty() || volume.name == mountPoint)
			volume.name = mountPoint == "/" ? "/" : QFileInfo(storage.rootPath()).fileName().toStdString();
		volumes.push_back(volume);
	}
	std::stable_sort(volumes.begin(), volumes.end(),
		[](const VOLUME_INFO& a, const VOLUME_INFO& b) { return a.mountPoint == "/" && b.mountPoint != "/"; });
	return volumes;
}

CVolumesPage::CVolumesPage(BWindow* window, QWidget* parent)
	:
	QWidget(parent),
	fWindow(window),
	fTree(new QTreeWidget(this)),
	fCopy(new QToolButton(this)),
	fLink(new QToolButton(this))
{
	setObjectName("volumes-view");
	fTree->setObjectName("volumes-tree");
	fTree->setHeaderHidden(true);
	fTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
	fTree->setUniformRowHeights(true);
	connect(fTree, &QTreeWidget::itemExpanded, this, &CVolumesPage::_Expand);

	fCopy->setText("Add A Copy");
	fLink->setText("Add A Link");
	for (QToolButton* button : {fCopy, fLink}) {
		bool copy = button == fCopy;
		button->setPopupMode(QToolButton::MenuButtonPopup);
		button->setMenu(new QMenu(button));
		button->setToolTip(copy ? "Copies the selected files into the active project; the arrow chooses another"
								: "Links the selected files into the active project; the arrow chooses another");
		connect(button, &QToolButton::clicked, this, [this, copy] { AddSelection(copy, nullptr); });
		connect(button->menu(), &QMenu::aboutToShow, this, [this, button, copy] { _FillProjectMenu(button, copy); });
	}

	auto* buttons = new QHBoxLayout;
	buttons->addStretch(1);
	buttons->addWidget(fCopy);
	buttons->addWidget(fLink);
	auto* layout = new QVBoxLayout(this);
	layout->setContentsMargins(0, 0, 0, 0);
	layout->setSpacing(4);
	layout->addWidget(fTree, 1);
	layout->addLayout(buttons);
	Reload();
}

void CVolumesPage::Reload()
{
	fTree->clear();
	for (const VOLUME_INFO& volume : ListVolumes()) {
		auto* item = new QTreeWidgetItem(fTree);
		QString name = QString::fromStdString(volume.name);
		QString mount = QString::fromStdString(volume.mountPoint);
		item->setText(0, name == mount ? name : name + "  (" + mount + ")");
		item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
		MarkFolder(item, mount);
	}
}

void CVolumesPage::_Expand(QTreeWidgetItem* item)
{
	if (item->data(0, kFilledRole).toBool())
		return;
	item->setData(0, kFilledRole, true);
	QDir folder(item->data(0, kPathRole).toString());
	const QFileInfoList entries = folder.entryInfoList(
		QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
	for (const QFileInfo& entry : entries) {
		if (entry.fileName().startsWith('.'))
			continue;
		auto* child = new QTreeWidgetItem(item);
		child->setText(0, entry.fileName());
		if (entry.isDir()) {
			child->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
			MarkFolder(child, entry.absoluteFilePath());
		} else {
			child->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
			child->setData(0, kPathRole, entry.absoluteFilePath());
		}
	}
	if (item->childCount() == 0)
		item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

std::vector<std::string> CVolumesPage::SelectedFiles() const
{
	std::vector<std::string> files;
	for (QTreeWidgetItem* item : fTree->selectedItems()) {
		if (!item->data(0, kFolderRole).toBool())
			files.push_back(item->data(0, kPathRole).toString().toStdString());
	}
	return files;
}

bool CVolumesPage::AddSelection(bool copy, CProject* project)
{
	std::vector<entry_ref> refs;
	for (const std::string& path : SelectedFiles()) {
		entry_ref ref;
		if (get_ref_for_path(path.c_str(), &ref) == B_OK)
			refs.push_back(ref);
	}
	if (refs.empty())
		return false;
	BMessage drop = MakeFileDropMessage(refs, copy, project);
	if (fWindow != nullptr)
		fWindow->PostMessage(&drop);
	return true;
}

void CVolumesPage::_FillProjectMenu(QToolButton* button, bool copy)
{
	QMenu* menu = button->menu();
	menu->clear();
	QAction* active = menu->addAction("Active Project");
	connect(active, &QAction::triggered, this, [this, copy] { AddSelection(copy, nullptr); });
	if (pDestinationView == nullptr)
		return;
	menu->addSeparator();
	for (const DESTINATION_PAGE& page : pDestinationView->Model().Pages()) {
		CProject* project = page.project;
		QAction* action = menu->addAction(QString::fromStdString(page.label));
		connect(action, &QAction::triggered, this, [this, copy, project] { AddSelection(copy, project); });
	}
}
