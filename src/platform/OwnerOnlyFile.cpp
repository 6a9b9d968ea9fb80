#include "platform/OwnerOnlyFile.h"

#include <QSaveFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QString> replaceOwnerOnlyFile(const QString &path, const QByteArray &bytes,
                                            bool waitForDisk)
{
    QSaveFile file(path);
    // Never fall back to truncating the file in place: a failed save must leave it whole.
    file.setDirectWriteFallback(false);
    // Unbuffered, so that a failing write shows at once: QSaveFile renames the file over the old
    // one even when only the flush inside commit() failed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const auto abandon = [&](const QString &why) {
        file.cancelWriting();
        return why;
    };
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        return abandon(qt_error_string(errno));
    if (file.write(bytes) != bytes.size())
        return abandon(file.errorString());
    if (waitForDisk && ::fsync(file.handle()) != 0)
        return abandon(qt_error_string(errno));
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}
