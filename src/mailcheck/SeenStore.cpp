#include "mailcheck/SeenStore.h"

#include "platform/OwnerOnlyFile.h"
#include "wording/Wording.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

const QByteArray Magic = "larkspur-seen 1";

QByteArray encoded(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

// An id as the file can hold it: one per line, so no blanks, line ends or other control bytes.
bool storable(const QByteArray &id)
{
    return !id.isEmpty() && std::all_of(id.cbegin(), id.cend(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7f;
    });
}

} // namespace

SeenStore::SeenStore(QString folder) : m_folder(std::move(folder)) {}

QString SeenStore::defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG base directories must be absolute; a relative one is ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/state"_s;
    return base + u"/larkspur"_s;
}

QString SeenStore::fileFor(const MailboxKey &key) const
{
    const QByteArray identity = key.protocol.toUtf8() + '\n' + key.host.toUtf8() + '\n' +
                                QByteArray::number(key.port) + '\n' + key.user.toUtf8();
    const QByteArray digest =
        QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(32);
    return m_folder + u'/' + key.protocol + u'-' + QString::fromLatin1(digest) + u".seen"_s;
}

SeenStore::FileIdentity SeenStore::identityOf(const struct stat &status)
{
    return {status.st_dev, status.st_ino, status.st_size,
            qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

SeenState SeenStore::load(const MailboxKey &key) const
{
    const QString path = fileFor(key);
    QFile file(path);
    struct stat status {
    };
    if (!file.open(QIODevice::ReadOnly) || ::fstat(file.handle(), &status) != 0) {
        m_lastRead.remove(path);
        return {};
    }
    const FileIdentity identity = identityOf(status);
    if (const auto read = m_lastRead.constFind(path);
        read != m_lastRead.cend() && read->identity == identity)
        return read->state;
    const SeenState state = parse(file, key);
    m_lastRead.insert(path, Read{identity, state});
    return state;
}

SeenState SeenStore::parse(QFile &file, const MailboxKey &key)
{
    if (file.size() > MaxFileBytes)
        return {};
    const QList<QByteArray> lines = file.read(MaxFileBytes + 1).split('\n');
    // The header names the mailbox: a file of another one (a hash collision, a copied folder)
    // is not taken for this one.
    if (lines.size() < 6 || lines[0] != Magic || lines[1] != "host " + encoded(key.host) ||
        lines[2] != "port " + QByteArray::number(key.port) ||
        lines[3] != "user " + encoded(key.user) || !lines[4].startsWith("listed ") ||
        !lines[5].startsWith("last "))
        return {};
    SeenState state;
    state.listedAt = QDateTime::fromString(QString::fromLatin1(lines[4].mid(7)), Qt::ISODate);
    const QList<QByteArray> last = lines[5].mid(5).split(' ');
    bool countOk = false;
    bool octetsOk = false;
    if (last.size() < 2)
        return {};
    state.count = last[0].toLongLong(&countOk);
    state.octets = last[1].toLongLong(&octetsOk);
    if (!countOk || !octetsOk)
        return {};
    state.lastId = last.size() > 2 ? last[2] : QByteArray();
    qsizetype first = 6;
    if (lines.size() > 6 && lines[6].startsWith("uid ")) {
        const QList<QByteArray> uid = lines[6].mid(4).split(' ');
        bool validityOk = false;
        bool nextOk = false;
        if (uid.size() != 2)
            return {};
        state.uidValidity = uid[0].toLongLong(&validityOk);
        state.uidNext = uid[1].toLongLong(&nextOk);
        if (!validityOk || !nextOk)
            return {};
        first = 7;
    }
    state.ids.reserve(lines.size() - first);
    for (qsizetype i = first; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        if (!storable(lines[i]))
            return {};
        state.ids.insert(lines[i]);
    }
    state.known = true;
    return state;
}

bool SeenStore::save(const MailboxKey &key, const SeenState &state, QString *error) const
{
    const QString path = fileFor(key);
    const auto fail = [&](const QString &why) {
        if (error)
            *error = Wording::seenIdsNotSaved(QDir::toNativeSeparators(path), why);
        return false;
    };
    // Owner-only from the start: the folder tells which mailboxes this user reads.
    if (!QDir().mkpath(m_folder))
        return fail(u"cannot create the folder"_s);
    ::chmod(QFile::encodeName(m_folder).constData(), S_IRWXU);

    // The state as it will read back from the file, which holds less than it may: the time to the
    // second, and no id that a blank or control byte would break.
    SeenState written = state;
    written.known = true;
    const QString listed = state.listedAt.toUTC().toString(Qt::ISODate);
    written.listedAt = QDateTime::fromString(listed, Qt::ISODate);
    if (!storable(state.lastId))
        written.lastId.clear();

    QByteArray bytes = Magic + '\n';
    bytes += "host " + encoded(key.host) + '\n';
    bytes += "port " + QByteArray::number(key.port) + '\n';
    bytes += "user " + encoded(key.user) + '\n';
    bytes += "listed " + listed.toLatin1() + '\n';
    bytes += "last " + QByteArray::number(state.count) + ' ' + QByteArray::number(state.octets);
    if (!written.lastId.isEmpty())
        bytes += ' ' + written.lastId;
    bytes += '\n';
    if (state.uidValidity >= 0)
        bytes += "uid " + QByteArray::number(state.uidValidity) + ' ' +
                 QByteArray::number(state.uidNext) + '\n';
    // In the set's own order, into one buffer sized first: sorting 40,000 ids and growing the
    // buffer id by id took several times as long as writing the file.
    qsizetype idBytes = 0;
    for (const QByteArray &id : state.ids)
        idBytes += id.size() + 1;
    qsizetype at = bytes.size();
    bytes.resize(at + idBytes);
    for (const QByteArray &id : state.ids) {
        if (!storable(id)) {
            written.ids.remove(id);
            continue;
        }
        std::memcpy(bytes.data() + at, id.constData(), size_t(id.size()));
        at += id.size();
        bytes[at++] = '\n';
    }
    bytes.truncate(at);

    // No wait for the disk: the rename keeps the file whole or as it was, and a file lost to a
    // power cut only makes the next check a first one, which announces nothing old.
    if (const auto why = replaceOwnerOnlyFile(path, bytes, false))
        return fail(*why);
    // What was written is what the next check would read back: it is kept instead.
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        m_lastRead.insert(path, Read{identityOf(status), written});
    else
        m_lastRead.remove(path);
    return true;
}
