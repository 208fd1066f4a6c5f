#pragma once

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include <sys/fsuid.h>
#include <unistd.h>

// Folder permissions stop an ordinary user, not root, and the tests run as root in CI. While
// this lives, the calling thread meets the file system as the user "nobody" (the file-system
// user id, which takes root's overriding rights away), and folder is handed to that user so
// the test can still work in it. Nothing changes for a test run by an ordinary user.
class OrdinaryUser {
public:
    explicit OrdinaryUser(const QString& folder) : m_root(::geteuid() == 0) {
        if (!m_root)
            return;
        giveAway(folder);
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            giveAway(it.next());
        ::setfsgid(kNobody);
        ::setfsuid(kNobody);
    }
    ~OrdinaryUser() {
        if (!m_root)
            return;
        ::setfsuid(0);
        ::setfsgid(0);
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

private:
    static constexpr uid_t kNobody = 65534;

    static void giveAway(const QString& path) {
        [[maybe_unused]] const int changed =
            ::lchown(QFile::encodeName(path).constData(), kNobody, kNobody);
    }

    const bool m_root;
};
