// A point in view coordinates.
#pragma once

class BPoint {
public:
	float x = 0;
	float y = 0;

	constexpr BPoint() = default;
	constexpr BPoint(float x, float y) : x(x), y(y) {}
	void Set(float newX, float newY) { x = newX; y = newY; }
	bool operator==(const BPoint& other) const = default;
};
