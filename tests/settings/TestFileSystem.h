#pragma once

// File-system faults for tests: folders that refuse writes, unreadable files, a full disk.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testfs
{

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

inline bool canCreateFileIn(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/probe-XXXXXX"));
    return probe.open();
}

// Root passes every permission check: while this lives, the calling thread (the test's only one)
// works without the capabilities that override file permissions, as an ordinary user does.
// A process without them keeps its rights unchanged.
class PermissionsApply
{
public:
    PermissionsApply()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_changed = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionsApply()
    {
        if (m_changed)
            syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsApply(const PermissionsApply &) = delete;
    PermissionsApply &operator=(const PermissionsApply &) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_changed = false;
};

// A tmpfs mounted over `folder` (root only), unmounted again on destruction.
class Tmpfs
{
public:
    Tmpfs(const QString &folder, qint64 sizeBytes) : m_folder(QFile::encodeName(folder))
    {
        privateMounts();
        const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0755";
        if (::mount("larkspur-test", m_folder.constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~Tmpfs()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs &) = delete;
    Tmpfs &operator=(const Tmpfs &) = delete;

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }

    bool remountReadOnly()
    {
        return ::mount("larkspur-test", m_folder.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }

    // Fills every free block, so that the next write finds the disk full.
    bool fill()
    {
        QFile filler(QFile::decodeName(m_folder) + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        // Partial blocks: down to single bytes.
        while (filler.write("x", 1) == 1) {
        }
        return true;
    }

private:
    // Mounts of this process alone, so that none outlives a crashed test. Where that cannot be
    // had the mount is system-wide, and the destructor still removes it.
    static void privateMounts()
    {
        static const bool done = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        Q_UNUSED(done);
    }

    QByteArray m_folder;
    bool m_mounted = false;
    QString m_error;
};

} // namespace testfs
