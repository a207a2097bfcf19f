#include "kit/interface/Font.h"

#include <atomic>

namespace {
std::atomic<float> sPlainFontHeight {kDefaultFontDesignSize};
}

float PlainFontHeight()
{
	return sPlainFontHeight.load();
}

void SetPlainFontHeight(float height)
{
	if (height > 0)
		sPlainFontHeight.store(height);
}
