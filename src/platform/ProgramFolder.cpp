#include "platform/ProgramFolder.h"

#include "platform/InstallLayout.h"

#include <QDir>
#include <QFileDevice>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace
{

// Asks the file system itself: permission bits say nothing about read-only mounts, ACLs or root.
bool canCreateFilesIn(const QString &folder)
{
    QTemporaryFile probe(folder + u"/.larkspur-probe-XXXXXX"_s);
    return probe.open();
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + u"/.config"_s;
}

} // namespace

QString programFolder(const QString &executableDir)
{
    const QString beside = QDir::cleanPath(executableDir);
    // An installed program never writes beside itself, not even when run by root.
    if (!beside.isEmpty() && QDir(beside).exists() && installedDataFolder(beside).isEmpty() &&
        canCreateFilesIn(beside))
        return beside;

    const QString folder = configHome() + u"/larkspur"_s;
    if (!QDir(folder).exists() && QDir().mkpath(folder)) {
        // Settings.inf holds the scrambled password.
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    return folder;
}
