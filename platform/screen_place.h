#pragma once
#include <vector>

#include "platform/types.h"

namespace dwellor {

// Whether `r` lies wholly within `screen`.
bool within(const Rect& r, const Rect& screen);

// Where a mark of `size` pixels goes beside the pointer: clear of the
// pointer's image (which reaches `clear` pixels right and down of its hot
// spot) and of the hot spot itself, inside `screen` where it fits there.
Rect markPlace(Point pointer, Rect screen, int size, int clear);

// Where a window's frame goes so that it is on a screen: where it is when
// enough of its top (where it is dragged from) lies on one of `screens`,
// otherwise wholly on the screen nearest to it. Rects are screen pixels.
Point keepOnScreen(Rect frame, const std::vector<Rect>& screens);

}  // namespace dwellor
