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
    // Reads the file when it exists; a missing one remembers nothing, and so does one that
    // cannot be read, is no regular file or is above kMaxSmallFileSize, which Loaded() tells.
    explicit WindowMemory(QString path);

    // Why the file was not read, for the user; it is then never written over, since QSettings
    // reads a file before it writes it.
    const Expected<void>& Loaded() const { return m_loaded; }

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
    Expected<void> m_loaded;
    QByteArray m_geometry;
    QByteArray m_splitter;
    QByteArray m_keyDigest;
    QString m_model;
};
