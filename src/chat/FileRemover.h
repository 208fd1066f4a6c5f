#pragma once

#include <QString>

#include <optional>

// Deletes files for the window. Tests put in one that refuses: a test run as root may
// delete anything, so the real file system cannot show a file that stays.
class FileRemover {
public:
    virtual ~FileRemover() = default;

    // Deletes the file at path; on failure gives the system's error text.
    virtual std::optional<QString> Remove(const QString& path) = 0;
};

// The real file system.
FileRemover& SystemFileRemover();
