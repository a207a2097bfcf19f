// CContainerView: a labelled box holding pages, one shown at a time, chosen
// by tabs. The pane code adds and removes the pages.
#pragma once

#include <QFrame>

class QLabel;
class QTabWidget;

class CContainerView : public QFrame {
	Q_OBJECT

public:
	// GUI thread (every member). `name` becomes the object name, `label` the
	// heading.
	CContainerView(const char* name, const char* label, QWidget* parent = nullptr);

	QString Label() const;
	// Takes `page` (owned from then on); returns its index.
	int AddPage(QWidget* page, const char* label);
	// Takes the page out (the caller owns it again); false when it is not one.
	bool RemovePage(QWidget* page);
	void SetPageLabel(QWidget* page, const char* label);
	int CountPages() const;
	QWidget* PageAt(int index) const;
	// The page shown, or null when there is none.
	QWidget* ActivePage() const;
	void SetActivePage(QWidget* page);

private:
	QLabel* fLabel;
	QTabWidget* fPages;
};
