#pragma once

#include "text/Expected.h"

#include <QString>

// Deletes files for the window. Tests put in one that refuses: a test run as root may
// delete anything, so the real file system cannot show a file that stays.
class FileRemover {
public:
    virtual ~FileRemover() = default;

    // Deletes the file at path; a failure carries the system's error text.
    virtual Expected<void> Remove(const QString& path) = 0;
};

// The real file system.
FileRemover& SystemFileRemover();
