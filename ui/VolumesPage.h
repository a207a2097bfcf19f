// CVolumesPage: the source pane's "Volumes" page, a file browser over the
// mounted volumes. Each volume is a branch of the tree, its folders open on
// demand; "Add A Copy" and "Add A Link" hand the selected files to the
// active project (a click) or a chosen one (the button's menu) with the
// drop message of "Copy To" ("refs", and "force_file_copy" for copies).
#pragma once

#include <QWidget>

#include <string>
#include <vector>

class BWindow;
class CProject;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

struct VOLUME_INFO {
	std::string name;         // the volume's label, or its mount point's leaf
	std::string mountPoint;
	std::string fileSystem;
};

// True for file systems that hold no user files (proc, sysfs, cgroup, ...)
// and for tmpfs anywhere but /tmp. Pure.
bool IsPseudoVolume(const std::string& fileSystem, const std::string& mountPoint);
// The mounted volumes that hold files, root first, each mount point once.
std::vector<VOLUME_INFO> ListVolumes();

class CVolumesPage : public QWidget {
	Q_OBJECT

public:
	// GUI thread (every member). Drops are posted to `window` (may be null).
	explicit CVolumesPage(BWindow* window, QWidget* parent = nullptr);

	// Reads the volumes again.
	void Reload();
	// The paths of the selected files (folders are left out).
	std::vector<std::string> SelectedFiles() const;
	// Posts the selected files to `project` (null: the active project) to be
	// copied or linked. False when nothing is selected.
	bool AddSelection(bool copy, CProject* project);

	QTreeWidget* Tree() const { return fTree; }
	QToolButton* CopyButton() const { return fCopy; }
	QToolButton* LinkButton() const { return fLink; }

private:
	void _Expand(QTreeWidgetItem* item);
	void _FillProjectMenu(QToolButton* button, bool copy);

	BWindow* fWindow;
	QTreeWidget* fTree;
	QToolButton* fCopy;
	QToolButton* fLink;
};
