#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

// The local files among what was dragged or copied; none when anything else comes with them.
QStringList LocalFilesOf(const QMimeData* data);

// Files dropped anywhere on a window, its page and prompt box included, go to the handler
// instead of the widget under them, which would open them or write their address.
class FileDropTarget : public QObject {
public:
    FileDropTarget(QWidget* window, std::function<void(const QStringList&)> onDrop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<void(const QStringList&)> m_onDrop;
};
