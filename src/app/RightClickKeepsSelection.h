#pragma once

#include <QEvent>
#include <QMouseEvent>
#include <QObject>

// A right click on a list opens its popup menu without picking the entry under the
// pointer: the menu acts on the entry already selected, and picking a chat opens it.
class RightClickKeepsSelection : public QObject {
public:
    explicit RightClickKeepsSelection(QObject* viewport) : QObject(viewport) {
        viewport->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true; // the context-menu event still follows
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};
