// The drive page widget: the track list, the five buttons, the disc ids and
// the context menu of one drive, over the Qt-free CCdromView. The device's
// notifications reach it through a messenger of its own, delivered on the
// GUI thread; dragged tracks carry the drag message flattened in
// kCdTrackMimeType.
#pragma once

#include "kit/app/Messenger.h"
#include "players/CdromView.h"

#include <QWidget>

#include <functional>
#include <memory>

class CDevice;
class CCdromPageTarget;
class QLabel;
class QMimeData;
class QPushButton;
class QToolButton;
class QTreeWidget;

// The MIME type of tracks dragged from a drive page.
extern const char* const kCdTrackMimeType;   // "application/x-tarnwick-cd-tracks"
// The field of the drag message that names the page it came from.
extern const char* const kCdDragSourceField;   // "tarnwick:drag_source" (int64)

// The drop side of a track drag: posts `reply` (what 'DDCP', "directory" =
// the target folder, optional "name" = a placeholder entry to remove) to the
// page the unflattened `drag` came from, which then asks for the copy.
// B_OK, or B_BAD_VALUE when the page is gone. Any thread.
status_t PostCdDragReply(const BMessage* drag, const BMessage* reply);

// GUI thread.
class CCdromPage : public QWidget {
	Q_OBJECT

public:
	CCdromPage(CDevice* device, CdromViewHooks hooks, QWidget* parent = nullptr);
	~CCdromPage() override;

	CCdromView* View() const { return fView.get(); }
	QTreeWidget* List() const { return fList; }
	QToolButton* Button(const char* name) const;
	// The context menu's entries for the current selection, built as shown.
	void ShowContextMenu(const QPoint& globalPosition);
	// The messenger the drive posts to.
	BMessenger Messenger() const { return fMessenger; }
	// Handles a drive notification or a drag reply (GUI thread).
	void HandleMessage(BMessage* message);
	// Runs a menu command (the menu items and shortcuts call it).
	void RunCommand(uint32 command, CProject* project = nullptr);
	// What a drag of the selected tracks from `position` (list viewport
	// coordinates) carries; null when nothing is selected. The caller owns it.
	QMimeData* SelectionMimeData(const QPoint& position) const;

protected:
	bool eventFilter(QObject* object, QEvent* event) override;

private:
	void _Render();
	void _RenderRow(int32 row);
	void _SelectionChanged();
	void _StartDrag(const QPoint& position);
	void _EditText(bool artist);

	std::unique_ptr<CCdromView> fView;
	std::shared_ptr<CCdromPageTarget> fTarget;
	BMessenger fMessenger;
	QTreeWidget* fList = nullptr;
	QLabel* fIds = nullptr;
	QPushButton* fLookup = nullptr;
	QPoint fPressPosition;
	bool fAttached = false;
};
