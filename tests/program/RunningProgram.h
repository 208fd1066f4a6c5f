#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A short-lived command run to its end.
struct CommandResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
CommandResult RunToEnd(const QString& program, const QStringList& arguments,
                       int timeoutMs = 120000);

// The program started offscreen in a process of its own, with the environment a test
// gives it and nothing inherited that would change how the web engine starts.
class RunningProgram {
public:
    RunningProgram(const QString& executable, const QStringList& arguments,
                   const QProcessEnvironment& environment, const QString& workingDir);
    ~RunningProgram();

    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits until the window's web engine has started its page processes and the
    // program still runs. False when the program ended or the time ran out first.
    bool waitForWebEngine(int timeoutMs);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int exitCode() const { return m_process.exitCode(); }
    // Asks the program to close as a desktop session would (SIGTERM) and waits.
    bool close(int timeoutMs);
    QString standardError();

    // The offscreen environment: no display, no inherited Chromium switches.
    static QProcessEnvironment offscreenEnvironment(const QString& home);

private:
    QProcess m_process;
};
