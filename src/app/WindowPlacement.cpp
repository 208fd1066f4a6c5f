#include "app/WindowPlacement.h"

#include <QtGlobal>

namespace {

// How much of the screen a first window may take.
constexpr qreal kScreenShare = 0.95;

} // namespace

QRect FirstWindowGeometry(const QRect& available, QSize design, QSize minimum) {
    QRect placed(QPoint(), design.boundedTo(available.size() * kScreenShare).expandedTo(minimum));
    placed.moveCenter(available.center());
    placed.moveTopLeft(
        QPoint(qMax(placed.left(), available.left()), qMax(placed.top(), available.top())));
    return placed;
}
