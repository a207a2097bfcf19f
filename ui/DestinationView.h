// CDestinationView: the right pane of the main window, one page per project.
// It renders a CDestinationModel (projects/DestinationModel.h): the model
// decides, the pane adds, relabels and removes the page widgets
// (CreateProjectPage), shows the name dialog and the pop-up menu, and hands
// the user's commands and drops back to the window as messages.
#pragma once

#include "projects/DestinationModel.h"
#include "widgets/ContainerView.h"

#include <map>
#include <memory>

class BWindow;
class CProject;
class QDialog;
class QLineEdit;
class QMenu;
class QTabWidget;

class CDestinationView : public CContainerView {
	Q_OBJECT

public:
	// GUI thread (every member). Messages go to and come from `window`;
	// registers with the roster `roster` (null: none) at once.
	explicit CDestinationView(BWindow* window, CProjectRoster* roster, QWidget* parent = nullptr);
	// Unregisters from the roster and gives its references back.
	~CDestinationView() override;

	// Removes every page and gives the roster's references back; the pane
	// hears no more of the roster.
	void DetachFromRoster();

	// The window hands over every message; false for one not the pane's.
	bool HandleMessage(BMessage* message);

	CProject* ActiveProject() const { return fModel->ActiveProject(); }
	const CDestinationModel& Model() const { return *fModel; }
	// The page of `project`, or null.
	QWidget* PageOf(CProject* project) const;
	// The pop-up menu as it would show now (the caller owns it).
	QMenu* MakePopUpMenu();
	// The name dialog while it is open, else null (for tests).
	QDialog* NameDialog() const { return fNameDialog; }

signals:
	// The pages came or went or were relabelled.
	void PagesChanged();

protected:
	void contextMenuEvent(QContextMenuEvent* event) override;
	void dragEnterEvent(QDragEnterEvent* event) override;
	void dragMoveEvent(QDragMoveEvent* event) override;
	void dropEvent(QDropEvent* event) override;

private:
	void _ShowNameDialog(const BMessage* ask);
	void _RemovePageWidget(CProject* project);

	BWindow* fWindow;
	std::unique_ptr<CDestinationModel> fModel;
	std::map<CProject*, QWidget*> fPageMap;
	QTabWidget* fTabs;
	QDialog* fNameDialog = nullptr;
};

// The destination pane of the main window while it exists (GUI thread).
extern CDestinationView* pDestinationView;
