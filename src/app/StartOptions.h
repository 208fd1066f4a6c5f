#pragma once

#include <QString>

#include <optional>

// What the command line asks of this run.
struct StartOptions {
    // The model service's address; empty for the public one.
    QString baseUrl;
    // The folder for all of the program's data; empty for the usual choice.
    QString dataDir;
};

// Reads the command line before the window system is touched, so --help and --version
// work without a display. Nothing, with the exit code set, when the program must stop
// (help or version printed, or a bad option reported on stderr).
std::optional<StartOptions> ReadStartOptions(int argc, char** argv, int& exitCode);
