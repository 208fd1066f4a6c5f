#pragma once

#include <QString>

// An export is typeset from a file in a folder of the system's temporary folder (a page given
// its HTML directly takes at most 2 MB). The folder goes with its export; one a killed run
// left behind holds a chat's text, so the next start removes it. Each folder is named after
// the process that made it, which tells a left one from one another running copy uses.

// The QTemporaryDir template of this process's typesetting folders in tempDir.
QString TypesetFolderTemplate(const QString& tempDir);

// Removes the typesetting folders in tempDir whose process has ended; how many it removed.
int RemoveStaleTypesetFolders(const QString& tempDir);
