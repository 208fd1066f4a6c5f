#pragma once

#include "text/Expected.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the window was like when it last closed: its size and place, its splitter, and
// the key and model that were chosen. Kept in an INI file of its own beside the chats;
// the key only as a digest, since the key list is where keys are kept.
class WindowMemory {
public:
    // Reads the file when it exists; a missing or unreadable one remembers nothing.
    explicit WindowMemory(QString path);

    static QString FileName() { return QStringLiteral("window.ini"); }

    QByteArray Geometry() const { return m_geometry; }
    QByteArray SplitterState() const { return m_splitter; }
    void SetLayout(const QByteArray& geometry, const QByteArray& splitterState);

    void RememberChoice(const QString& key, const QString& model);
    // The entry to select at start: the one chosen last time when it is still listed,
    // otherwise the first; -1 for an empty list.
    int KeyEntry(const QStringList& keys) const;
    int ModelEntry(const QStringList& models) const;

    Expected<void> Save() const;

private:
    QString m_path;
    QByteArray m_geometry;
    QByteArray m_splitter;
    QByteArray m_keyDigest;
    QString m_model;
};
