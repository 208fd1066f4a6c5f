#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

class QListWidgetItem;

// The chat file behind an entry of the chat list. Entries carry it as item data,
// so the list frees it with the entry.
struct TPathObject {
    QString Path;
};
Q_DECLARE_METATYPE(TPathObject)

void AttachPathObject(QListWidgetItem* entry, const QString& path);
// Nothing when the entry carries no chat file (the new-chat entry).
std::optional<TPathObject> PathObjectOf(const QListWidgetItem* entry);
