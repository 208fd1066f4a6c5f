#pragma once

#include <QString>

// The folders the window keeps its files in: programDir holds the chats, the counters
// and the key help page, workingDir the key and model lists. Both are the data folder
// unless the program runs in portable mode (DataLocation.h).
struct AppFolders {
    QString programDir;
    QString workingDir;

    QString chatsDir() const;
    QString inProgramDir(const QString& name) const;
    QString inWorkingDir(const QString& name) const;
};
