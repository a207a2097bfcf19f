// CSplitterView: two panes side by side with a movable divider, positioned
// by the share of the first pane in percent (0: the first pane is folded
// away, 100: the second is).
#pragma once

#include <QSplitter>

class CSplitterView : public QSplitter {
	Q_OBJECT

public:
	// GUI thread (every member). `name` becomes the object name.
	explicit CSplitterView(const char* name, QWidget* parent = nullptr);

	// Takes the two panes (owned from then on).
	void SetPanes(QWidget* first, QWidget* second);
	// Clamped to 0..100.
	void SetPercentage(float percentage);
	// The share set last, or the one the user dragged the divider to. A
	// share that was set reads back exactly as long as the divider stays.
	float Percentage() const { return fPercentage; }

protected:
	void resizeEvent(QResizeEvent* event) override;

private:
	void Apply();
	void Moved();

	float fPercentage = 50;
};
