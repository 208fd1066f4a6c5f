#pragma once

#include <QString>

// Where the program keeps its files: chats, counters and the key help page live in
// the program folder; the key and model lists in the working folder.
struct AppFolders {
    QString programDir;
    QString workingDir;

    // The executable's folder and the current directory.
    static AppFolders fromApplication();

    QString chatsDir() const;
    QString inProgramDir(const QString& name) const;
    QString inWorkingDir(const QString& name) const;
};
