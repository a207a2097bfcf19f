// A rectangle given by its edges; left/top/right/bottom are inclusive, as the
// platform counts them (a frame (0,0,1,1) is two pixels wide).
#pragma once

#include "kit/interface/Point.h"

class BRect {
public:
	float left = 0;
	float top = 0;
	float right = -1;
	float bottom = -1;

	constexpr BRect() = default;
	constexpr BRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
	void Set(float l, float t, float r, float b) { left = l; top = t; right = r; bottom = b; }
	float Width() const { return right - left; }
	float Height() const { return bottom - top; }
	bool IsValid() const { return left <= right && top <= bottom; }
	BPoint LeftTop() const { return BPoint(left, top); }
	BPoint RightBottom() const { return BPoint(right, bottom); }
	bool operator==(const BRect& other) const = default;
};
