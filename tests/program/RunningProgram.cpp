#include "RunningProgram.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace {

// The parent of a process, from /proc; 0 when it is gone.
qint64 parentOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold spaces, so read after its ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

bool descendsFrom(qint64 pid, qint64 ancestor) {
    for (int depth = 0; pid > 1 && depth < 16; ++depth) {
        pid = parentOf(pid);
        if (pid == ancestor)
            return true;
    }
    return false;
}

// Chromium checks whether it may run before it starts its zygote, the process that
// forks every page renderer (which keep the zygote's command line).
bool isWebEngineZygote(qint64 pid) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("--type=zygote");
}

// A page renderer of the program: forked by one of its zygotes. It exists only once the
// web engine has passed its checks and the window has asked for a page.
bool hasPageRenderer(qint64 program) {
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && isWebEngineZygote(pid) && isWebEngineZygote(parentOf(pid)) &&
            descendsFrom(pid, program))
            return true;
    }
    return false;
}

} // namespace

CommandResult RunToEnd(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return {-1, process.readAllStandardOutput(), process.readAllStandardError()};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

RunningProgram::RunningProgram(const QString& executable, const QStringList& arguments,
                               const QProcessEnvironment& environment, const QString& workingDir) {
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(workingDir);
    m_process.start(executable, arguments);
    m_process.waitForStarted();
}

RunningProgram::~RunningProgram() {
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool RunningProgram::waitForWebEngine(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!isRunning())
            return false;
        if (hasPageRenderer(m_process.processId()))
            return isRunning();
        m_process.waitForFinished(50);
    }
    return false;
}

bool RunningProgram::close(int timeoutMs) {
    m_process.terminate();
    return m_process.waitForFinished(timeoutMs);
}

QString RunningProgram::standardError() {
    return QString::fromLocal8Bit(m_process.readAllStandardError());
}

QProcessEnvironment RunningProgram::offscreenEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name :
         {QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
          QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("DISPLAY"),
          QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("XDG_DATA_HOME"),
          QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("XDG_CACHE_HOME")})
        environment.remove(name);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}
