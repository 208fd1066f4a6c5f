#pragma once

#include "text/Expected.h"
#include "service/ServiceSettings.h"

#include <QString>

// The connection settings kept between runs in one INI file a person can read
// (settings.ini in the data folder), and the address given on the command line, which
// wins for this run and is never written to the file.
class SettingsFile {
public:
    explicit SettingsFile(QString path);

    const QString& Path() const { return m_path; }

    // Reads the file. A missing file gives the defaults quietly; a damaged or unreadable
    // one, or one above kMaxSmallFileSize, gives the defaults and the message to show the
    // user once. The file itself is left as it is until the user saves.
    Expected<void> Load();

    // What the file holds (the defaults when it held nothing usable).
    const ServiceSettings& Saved() const { return m_saved; }
    // What requests use: the saved settings with the command line's address, if any.
    ServiceSettings Effective() const;

    void SetBaseUrlOverride(const QString& address) { m_baseUrlOverride = address; }
    const QString& BaseUrlOverride() const { return m_baseUrlOverride; }

    // Checks and writes the settings whole and atomically, readable by the owner only (it
    // may hold a proxy password). A file above kMaxSmallFileSize is never written over. On
    // failure the file and Saved() stay as they were.
    Expected<void> Save(const ServiceSettings& settings);

private:
    QString m_path;
    ServiceSettings m_saved;
    QString m_baseUrlOverride;
};
