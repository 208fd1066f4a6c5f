#pragma once

#include <QDir>
#include <QDirIterator>
#include <QStringList>

// Everything under a folder, hidden entries included, as sorted paths relative to it:
// what a test compares to prove that nothing was written where it must not be.
inline QStringList FolderContents(const QString& dir) {
    QStringList found;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(dir).relativeFilePath(it.next()));
    found.sort();
    return found;
}
