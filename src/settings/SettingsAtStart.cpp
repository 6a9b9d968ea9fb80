#include "settings/SettingsAtStart.h"

#include "wording/Wording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

// As much as the reader takes; a larger file is refused before it gets here.
constexpr qint64 maxSettingsBytes = 1024 * 1024;
constexpr int maxKeptCopies = 99;

// QSaveFile's temporary: the file's name, a dot and six random ASCII letters.
bool isTemporaryName(const QString &name, const QString &fileName)
{
    if (name.size() != fileName.size() + 7 || !name.startsWith(fileName + u'.'))
        return false;
    for (const QChar c : QStringView(name).sliced(fileName.size() + 1)) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    }
    return true;
}

// A save writes "[settings]" first: a cut-short one holds nothing, or begins so.
bool looksLikeACutShortSave(const QString &path)
{
    struct stat st {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || st.st_size > maxSettingsBytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(12);
    return QByteArrayView("[settings]\r\n").startsWith(start);
}

void removeCutShortSaves(const QString &path)
{
    const QFileInfo settings(path);
    const QDir folder = settings.dir();
    const QString fileName = settings.fileName();
    const QStringList candidates =
        folder.entryList({fileName + u".??????"_s}, QDir::Files | QDir::NoSymLinks);
    for (const QString &name : candidates) {
        if (isTemporaryName(name, fileName) && looksLikeACutShortSave(folder.filePath(name)))
            QFile::remove(folder.filePath(name));
    }
}

// Whether the bytes hold anything but blank lines and section headers: what a user could miss.
bool holdsText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        const QByteArrayView line = bytes.sliced(start, end - start).trimmed();
        if (!line.isEmpty() && !line.startsWith('['))
            return true;
        start = end + 1;
    }
    return false;
}

// Copies the file's bytes to the first free of path.old, path.old.2, ... Returns the copy's path,
// or an empty text with *why set.
QString keepAside(const QString &path, const QByteArray &bytes, QString *why)
{
    for (int n = 1; n <= maxKeptCopies; ++n) {
        const QString kept = path + (n == 1 ? u".old"_s : u".old.%1"_s.arg(n));
        QFile copy(kept);
        // New only: never over an earlier copy, nor through a link.
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                       QFile::ReadOwner | QFile::WriteOwner)) {
            if (copy.exists() || QFileInfo(kept).isSymLink())
                continue;
            *why = copy.errorString();
            return {};
        }
        if (copy.write(bytes) != bytes.size() || !copy.flush() || ::fsync(copy.handle()) != 0) {
            *why =
                copy.error() != QFileDevice::NoError ? copy.errorString() : qt_error_string(errno);
            copy.close();
            QFile::remove(kept);
            return {};
        }
        return kept;
    }
    *why = u"%1 earlier copies are there already"_s.arg(maxKeptCopies);
    return {};
}

} // namespace

SettingsAtStart readSettingsAtStart(const QString &path)
{
    removeCutShortSaves(path);
    SettingsAtStart result;
    result.loaded = loadSettings(path, &result.unreadable);
    if (!result.unreadable.isEmpty() || result.loaded.anyKeyRead)
        return result;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result; // missing: nothing to keep
    const QByteArray bytes = file.read(maxSettingsBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.unreadable =
            Wording::settingsNotKeptAside(QDir::toNativeSeparators(path), file.errorString());
        return result;
    }
    if (!holdsText(bytes))
        return result;
    QString why;
    const QString kept = keepAside(path, bytes, &why);
    if (kept.isEmpty())
        result.unreadable = Wording::settingsNotKeptAside(QDir::toNativeSeparators(path), why);
    else
        result.keptAside = Wording::settingsKeptAside(QDir::toNativeSeparators(path),
                                                      QDir::toNativeSeparators(kept));
    return result;
}
