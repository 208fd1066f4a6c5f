#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QObject>

#include <functional>
#include <utility>

// Reports every key released in a widget, as the key-up events of the window's
// controls expect. It lives as long as the widget it watches.
class KeyUpFilter : public QObject {
public:
    KeyUpFilter(QObject* watched, std::function<void(int)> onKeyUp)
        : QObject(watched), m_onKeyUp(std::move(onKeyUp)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease)
            m_onKeyUp(static_cast<QKeyEvent*>(event)->key());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(int)> m_onKeyUp;
};

// Enter on the main keyboard or the keypad.
inline bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
