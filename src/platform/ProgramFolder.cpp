#include "platform/ProgramFolder.h"

#include "platform/InstallLayout.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

// Far more than any settings file; a larger one is no settings file to carry along.
constexpr qint64 maxSettingsBytes = 1024 * 1024;

// Asks the file system itself: permission bits say nothing about read-only mounts, ACLs or root.
bool canCreateFilesIn(const QString &folder, QString *why)
{
    QTemporaryFile probe(folder + u"/.larkspur-probe-XXXXXX"_s);
    if (probe.open())
        return true;
    *why = probe.errorString();
    return false;
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + u"/.config"_s;
}

// Copies `from` to `to` (which does not exist), owner-only from the start since it holds the
// scrambled password, and whole or not at all.
bool copySettings(const QString &from, const QString &to, QString *why)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *why = source.errorString();
        return false;
    }
    const QByteArray bytes = source.read(maxSettingsBytes + 1);
    if (source.error() != QFileDevice::NoError) {
        *why = source.errorString();
        return false;
    }
    if (bytes.size() > maxSettingsBytes) {
        *why = u"it is larger than 1 MiB"_s;
        return false;
    }
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        *why = target.errorString();
        return false;
    }
    if (::fchmod(target.handle(), S_IRUSR | S_IWUSR) != 0) {
        *why = qt_error_string(errno);
        target.cancelWriting();
        return false;
    }
    if (target.write(bytes) != bytes.size() || !target.commit()) {
        *why = target.errorString();
        target.cancelWriting();
        return false;
    }
    return true;
}

struct Choice {
    QString folder;
    QString beside;     // the executable's folder, cleaned
    QString unwritable; // why the program does not keep its files there
    bool besideExecutable = false;
};

Choice choose(const QString &executableDir)
{
    Choice choice;
    choice.beside = QDir::cleanPath(executableDir);
    choice.unwritable = u"it does not exist"_s;
    // An installed program never writes beside itself, not even when run by root.
    const bool installed =
        !choice.beside.isEmpty() && !installedDataFolder(choice.beside).isEmpty();
    if (!choice.beside.isEmpty() && QDir(choice.beside).exists() && !installed &&
        canCreateFilesIn(choice.beside, &choice.unwritable)) {
        choice.folder = choice.beside;
        choice.besideExecutable = true;
        return choice;
    }
    choice.folder = configHome() + u"/larkspur"_s;
    if (!QDir(choice.folder).exists() && QDir().mkpath(choice.folder)) {
        // Settings.inf holds the scrambled password.
        QFile::setPermissions(choice.folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    }
    return choice;
}

} // namespace

QString locateProgramFolder(const QString &executableDir)
{
    return choose(executableDir).folder;
}

QString programFolder(const QString &executableDir, QString *note)
{
    if (note)
        note->clear();
    const Choice choice = choose(executableDir);
    if (choice.besideExecutable)
        return choice.folder;

    const QString besideSettings = choice.beside + u"/Settings.inf"_s;
    const QFileInfo settings(choice.folder + u"/Settings.inf"_s);
    // A link to nothing is the user's, as much as a file is.
    if (choice.beside.isEmpty() || !QFileInfo(besideSettings).isFile() || settings.exists() ||
        settings.isSymLink())
        return choice.folder;
    QString why;
    const bool copied = copySettings(besideSettings, settings.filePath(), &why);
    if (note) {
        const QString from = QDir::toNativeSeparators(besideSettings);
        const QString to = QDir::toNativeSeparators(settings.filePath());
        if (copied)
            *note = u"ใช้ค่าจาก %1 และเก็บการตั้งค่าไว้ที่ %2 ต่อจากนี้ เพราะเขียนโฟลเดอร์ %3 ไม่ได้ : %4"_s.arg(
                from, to, QDir::toNativeSeparators(choice.beside), choice.unwritable);
        else
            *note = u"เก็บการตั้งค่าไว้ที่ %1 แต่คัดลอกค่าจาก %2 มาไม่ได้ : %3"_s.arg(to, from, why);
    }
    return choice.folder;
}
