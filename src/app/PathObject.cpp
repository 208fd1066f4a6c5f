#include "app/PathObject.h"

#include <QListWidgetItem>

void AttachPathObject(QListWidgetItem* entry, const QString& path) {
    entry->setData(Qt::UserRole, QVariant::fromValue(TPathObject{path}));
}

std::optional<TPathObject> PathObjectOf(const QListWidgetItem* entry) {
    const QVariant data = entry->data(Qt::UserRole);
    if (!data.canConvert<TPathObject>())
        return std::nullopt;
    return data.value<TPathObject>();
}
