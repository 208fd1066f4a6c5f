#pragma once

#include "store/AppFolders.h"
#include "text/Expected.h"

#include <QString>

// Where the chats, counters and key and model lists live. By default in the user's data
// folder, so rebuilding or removing the program never touches them; in portable mode
// beside the program (lists in the working folder), as earlier versions kept them.
enum class DataMode { Standard, Portable, Explicit };

struct DataLocationRequest {
    // The --data-dir option; empty when not given.
    QString dataDirOption;
    QString programDir;
    QString workingDir;
    // The user's data folder for this program, e.g. ~/.local/share/Tovik-L.
    QString standardDataDir;
};

struct DataLocation {
    DataMode mode = DataMode::Standard;
    AppFolders folders;
};

// --data-dir wins; then a file named "portable" or a "chats" folder beside the program
// (an earlier version's data) keeps the portable layout; otherwise the user's data folder.
DataLocation ChooseDataLocation(const DataLocationRequest& request);

// Creates the data folder and its chat folder, owner-only when this creates them; a
// failure names the folder and the reason.
Expected<void> PrepareDataLocation(const DataLocation& location);

// The data folder as the user reads it: the home folder shown as "~".
QString DataFolderForDisplay(const DataLocation& location, const QString& homeDir);
