#include "platform/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

// Characters that force an argument into double quotes; control characters are added by hand.
constexpr QStringView ReservedCharacters = u" \t\n\"'\\><~|&;$*?#()`";

bool isReserved(QChar c)
{
    return c.unicode() < 0x20 || ReservedCharacters.contains(c);
}

// Inside double quotes only these take a backslash; anything else after one is not an escape.
bool escapedInQuotes(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

// A key's value cannot hold these: a line break ends it, the rest are not allowed in a value.
bool isUnrepresentable(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7f;
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// The escapes of a string value, applied after the Exec quoting.
QString escapeStringValue(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

// False when `text` has an escape that a string value does not know, or ends in a lone backslash.
bool unescapeStringValue(const QString &text, QString *out)
{
    out->clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'\\') {
            *out += text.at(i);
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text.at(i).unicode()) {
        case u's':
            *out += u' ';
            break;
        case u'n':
            *out += u'\n';
            break;
        case u't':
            *out += u'\t';
            break;
        case u'r':
            *out += u'\r';
            break;
        case u'\\':
            *out += u'\\';
            break;
        default:
            return false;
        }
    }
    return true;
}

enum class FieldCodes { Expanded, Dropped, Malformed };

// Field codes come after the quoting is undone. A launch without files leaves nothing for the
// file codes, and an argument that was only such a code is gone.
FieldCodes expandFieldCodes(QString *argument, bool quoted)
{
    static constexpr QStringView fileCodes = u"fFuUdDnNvm";
    const QString in = *argument;
    if (!quoted && in.size() == 2 && in.at(0) == u'%' && fileCodes.contains(in.at(1)))
        return FieldCodes::Dropped;
    QString out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) != u'%') {
            out += in.at(i);
            continue;
        }
        if (i + 1 < in.size() && in.at(i + 1) == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        return FieldCodes::Malformed;
    }
    *argument = out;
    return FieldCodes::Expanded;
}

QString osError(int code)
{
    return qt_error_string(code);
}

// Like mkdir -p, but new folders are private (0700) and the failure names the OS's reason.
bool makeFolder(const QString &dir, QString *error)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(dir));
    struct stat st {
    };
    if (::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path.at(i) != '/')
            continue;
        const QByteArray part = path.left(i);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            setError(error, u"cannot create folder \"%1\": %2"_s.arg(dir, osError(errno)));
            return false;
        }
    }
    if (::stat(path.constData(), &st) != 0) {
        setError(error, u"cannot create folder \"%1\": %2"_s.arg(dir, osError(errno)));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        setError(error, u"cannot create folder \"%1\": %2"_s.arg(dir, osError(ENOTDIR)));
        return false;
    }
    return true;
}

bool isValidName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(QChar(0));
}

} // namespace

QString defaultAutostartDir()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = !configHome.isEmpty() && QDir::isAbsolutePath(configHome)
                             ? configHome
                             : QDir::homePath() + u"/.config"_s;
    return QDir::cleanPath(base + u"/autostart"_s);
}

QString quoteExecArgument(const QString &argument)
{
    QString quoted;
    if (argument.isEmpty() || std::any_of(argument.begin(), argument.end(), isReserved)) {
        quoted += u'"';
        for (const QChar c : argument) {
            if (escapedInQuotes(c))
                quoted += u'\\';
            quoted += c;
        }
        quoted += u'"';
    } else {
        quoted = argument;
    }
    quoted.replace(u'%', u"%%"_s);
    return escapeStringValue(quoted);
}

QStringList parseExec(const QString &execValue)
{
    // Written out again rather than shared with the writer, so each can check the other.
    static constexpr QStringView QuotedEscapes = u"\"`$\\";
    static constexpr QStringView Reserved = u" \t\n\"'\\><~|&;$*?#()`";
    QString s;
    if (!unescapeStringValue(execValue, &s))
        return {};

    QStringList arguments;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        if (s.at(i) == u' ') {
            ++i;
            continue;
        }
        QString argument;
        const bool quoted = s.at(i) == u'"';
        if (quoted) {
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar c = s.at(i++);
                if (c == u'"') {
                    closed = true;
                    break;
                }
                if (c == u'\\') {
                    if (i == n || !QuotedEscapes.contains(s.at(i)))
                        return {};
                    argument += s.at(i++);
                } else if (QuotedEscapes.contains(c)) {
                    return {}; // these must carry a backslash inside quotes
                } else {
                    argument += c;
                }
            }
            // A quoted argument is quoted in whole: a blank or the end must follow.
            if (!closed || (i < n && s.at(i) != u' '))
                return {};
        } else {
            while (i < n && s.at(i) != u' ') {
                const QChar c = s.at(i++);
                if (Reserved.contains(c))
                    return {};
                argument += c;
            }
        }
        switch (expandFieldCodes(&argument, quoted)) {
        case FieldCodes::Malformed:
            return {};
        case FieldCodes::Dropped:
            break;
        case FieldCodes::Expanded:
            arguments += argument;
            break;
        }
    }
    return arguments;
}

XdgAutostart::XdgAutostart(QString autostartDir) : m_dir(std::move(autostartDir)) {}

QString XdgAutostart::autostartDir() const
{
    return m_dir.isEmpty() ? defaultAutostartDir() : m_dir;
}

QString XdgAutostart::entryPath(const QString &name) const
{
    return autostartDir() + u'/' + name + u".desktop"_s;
}

bool XdgAutostart::SaveString(const QString &name, const QString &command, QString *error)
{
    if (!isValidName(name)) {
        setError(error, u"\"%1\" cannot name an autostart entry"_s.arg(name));
        return false;
    }
    if (command.isEmpty()) {
        setError(error, u"the program's path is unknown"_s);
        return false;
    }
    if (std::any_of(command.begin(), command.end(), isUnrepresentable)) {
        setError(error,
                 u"the program's path has control characters an autostart entry cannot hold"_s);
        return false;
    }
    const QString dir = autostartDir();
    if (!makeFolder(dir, error))
        return false;

    // 1.4, the newest version Debian 12's desktop-file-validate knows; every key here is older.
    const QString text = u"[Desktop Entry]\n"
                         u"Type=Application\n"
                         u"Version=1.4\n"
                         u"Name=%1\n"
                         u"Comment=Watches a POP3 mailbox and tells when new mail arrives\n"
                         u"Exec=%2\n"
                         u"Terminal=false\n"
                         u"X-GNOME-Autostart-enabled=true\n"_s.arg(escapeStringValue(name),
                                                                   quoteExecArgument(command));
    const QString path = entryPath(name);
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        setError(error, u"cannot write \"%1\": %2"_s.arg(path, file.errorString()));
        return false;
    }
    return true;
}

bool XdgAutostart::DeleteValue(const QString &name, QString *error)
{
    if (!isValidName(name)) {
        setError(error, u"\"%1\" cannot name an autostart entry"_s.arg(name));
        return false;
    }
    const QString path = entryPath(name);
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return true;
    // No folder, or a file where a folder should be: there is no entry to remove.
    if (errno == ENOENT || errno == ENOTDIR)
        return true;
    setError(error, u"cannot delete \"%1\": %2"_s.arg(path, osError(errno)));
    return false;
}
