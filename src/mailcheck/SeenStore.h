#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>

class QFile;
struct stat;

// What one mailbox's earlier checks remember. POP3: the unique ids (UIDL) seen there, and the last
// check's STAT with the id of its last message, which tell a cheap check that nothing moved.
// IMAP: the mailbox's UIDVALIDITY and the UIDNEXT of the last check.
struct SeenState {
    // A listing has been remembered: without one, every id would look new.
    bool known = false;
    QSet<QByteArray> ids;
    qint64 count = 0;
    qint64 octets = -1;
    QByteArray lastId;
    // The last full listing (UTC); one a day keeps the ids pruned to the mail still there.
    QDateTime listedAt;
    qint64 uidValidity = -1;
    qint64 uidNext = -1;

    bool operator==(const SeenState &) const = default;
};

// Which mailbox a remembered state belongs to.
struct MailboxKey {
    QString protocol; // "pop3", "imap"
    QString host;
    quint16 port = 0;
    QString user;
};

// The seen ids of each mailbox, one small file per mailbox in a folder of the program's state
// ($XDG_STATE_HOME/larkspur), apart from Settings.inf, which must stay small and readable by the
// Windows program. Files are replaced atomically, owner-only, and only when what they hold
// changed; a file that cannot be read counts as nothing remembered, which makes the next check a
// first one (the count rule, then the ids): it never floods the user with old mail.
class SeenStore
{
public:
    // A state file larger than this is not taken (40,000 ids take about 0.7 MB).
    static constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;

    explicit SeenStore(QString folder);
    // $XDG_STATE_HOME/larkspur, or ~/.local/state/larkspur.
    static QString defaultFolder();

    QString fileFor(const MailboxKey &key) const;
    // A file found as this store last read or wrote it is not read again: 40,000 ids take tens
    // of milliseconds to read, which every check would otherwise pay.
    SeenState load(const MailboxKey &key) const;
    // On failure *error holds one line for the status log.
    bool save(const MailboxKey &key, const SeenState &state, QString *error) const;

private:
    // Which file was read: a new one (every save renames one into place) or one changed in place
    // differs in one of these.
    struct FileIdentity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const FileIdentity &) const = default;
    };
    struct Read {
        FileIdentity identity;
        SeenState state;
    };

    static FileIdentity identityOf(const struct stat &status);
    static SeenState parse(QFile &file, const MailboxKey &key);

    QString m_folder;
    mutable QHash<QString, Read> m_lastRead;
};
