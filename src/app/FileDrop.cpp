#include "app/FileDrop.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

QStringList LocalFilesOf(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

// Every widget's drag events pass here first: the page and the prompt box take drops of
// their own, so the window alone would never see them.
FileDropTarget::FileDropTarget(QWidget* window, std::function<void(const QStringList&)> onDrop)
    : QObject(window), m_window(window), m_onDrop(std::move(onDrop)) {
    window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList files = LocalFilesOf(drop->mimeData());
    if (files.isEmpty())
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        m_onDrop(files);
    return true;
}
