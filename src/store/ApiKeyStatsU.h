#pragma once

#include "text/Expected.h"

#include <QDate>
#include <QString>

// The daily request counter: for each API key a file in the folder ApiStats beside
// the program, one line "day;model;count" per model. The file is named by a digest of
// the key, never the key, and only its owner may read it or the folder. Nothing is kept
// in memory; every call reads the file anew.

// Today as the counter sees it: the counting day begins at 03:00 local time.
QDate StatsDay();

// The counter folder inside the program folder.
QString ApiStatsDir(const QString& programDir);

// Requests of the current stats day for this key and model; 0 when none, and for a blank
// key or model (nothing is counted for them). Fails when the key's file cannot be read.
// Never writes.
Expected<int> GetTodayRequestCount(const QString& programDir, const QString& AApiKey,
                                   const QString& AModelName);

// Counts one more request of the current stats day, drops the lines of earlier days and
// returns the new count. Fails for a blank key or model and when the file cannot be
// read or written.
Expected<int> IncrementTodayRequestCount(const QString& programDir, const QString& AApiKey,
                                         const QString& AModelName);
