#pragma once

#include <QRect>
#include <QSize>

// Where a first window goes on a screen with this available area: the design size where
// the screen has room for it (leaving some for the window's frame), else as much as it
// has but never below the window's smallest size, in the middle and never above or left
// of the area. A small screen or a large scale factor keeps the window's edges in reach.
QRect FirstWindowGeometry(const QRect& available, QSize design, QSize minimum);
