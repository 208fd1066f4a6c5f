#pragma once

#include <QFile>

#include <malloc.h>

// Peak resident memory of this process, in bytes, since the last Reset (Linux, glibc).
class MemoryPeak {
public:
    // Hands freed heap back to the system first, so the resident size counts live data only.
    static void Reset() {
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
    }

    static qint64 Resident() {
        malloc_trim(0);
        return statusField("VmRSS:");
    }
    static qint64 Peak() { return statusField("VmHWM:"); }

private:
    static qint64 statusField(QByteArrayView name) {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(name.size()).trimmed().split(' ').first().toLongLong() * 1024;
        }
        return 0;
    }
};
