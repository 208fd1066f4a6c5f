#pragma once

#include <QString>

// Why a file or folder operation failed, for the user: the system's own texts are English,
// so the causes people meet (no rights, a read-only disk, no such folder, a full disk) are
// said in Russian; anything rarer is named by its number.
QString SystemErrorText(int error);
