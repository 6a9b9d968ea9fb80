#include "settings/SettingsFile.h"

#include "platform/OwnerOnlyFile.h"
#include "settings/IniReader.h"
#include "settings/NumberRules.h"
#include "settings/ScramblePassword.h"
#include "settings/Windows874.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

bool breaksLine(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

// What the reader trims from the ends of a value.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v';
}

// Why the reader would not give these bytes back exactly, or an empty text when it would.
QString scrambledPasswordFault(const QByteArray &scrambled)
{
    if (breaksLine(scrambled))
        return u"its scrambled form would hold a line break or NUL"_s;
    if (!scrambled.isEmpty() && (isBlank(scrambled.front()) || isBlank(scrambled.back())))
        return u"its scrambled form would begin or end with a blank, which reading drops"_s;
    if (scrambled.size() >= 2 && (scrambled.front() == '"' || scrambled.front() == '\'') &&
        scrambled.back() == scrambled.front())
        return u"its scrambled form would be enclosed in quotes, which reading drops"_s;
    return {};
}

class Composer
{
public:
    void line(const char *key, const QByteArray &value)
    {
        m_result.bytes += key;
        m_result.bytes += value;
        m_result.bytes += "\r\n";
    }

    void line(const char *key, qint64 number) { line(key, QByteArray::number(number)); }

    // A text line; a text the file cannot carry leaves the value empty and is reported.
    void textLine(const char *key, const QString &text, const QString &what)
    {
        bool ok = false;
        const QByteArray bytes = encodeWindows874(text, &ok);
        if (!ok) {
            notRemembered(what, u"Windows-874 cannot hold some of its characters"_s);
            line(key, QByteArray());
        } else if (breaksLine(bytes)) {
            notRemembered(what, u"it holds a line break or NUL"_s);
            line(key, QByteArray());
        } else {
            line(key, bytes);
        }
    }

    void passwordLine(const QString &password)
    {
        const QString what = u"รหัสผ่าน"_s;
        bool ok = false;
        const QByteArray scrambled = ScramblePassword(encodeWindows874(password, &ok));
        QString fault = ok ? scrambledPasswordFault(scrambled)
                           : u"Windows-874 cannot hold some of its characters"_s;
        if (!fault.isEmpty()) {
            notRemembered(what, fault);
            line("loginpass=", QByteArray());
            return;
        }
        line("loginpass=", scrambled);
    }

    // The server a remembered fact belongs to, as the POP3MailServer line stores it; nothing when
    // that line could not store it either (the fact then has nothing to belong to).
    static std::optional<QByteArray> storedServer(const QString &server)
    {
        bool ok = false;
        const QByteArray bytes = encodeWindows874(server, &ok);
        if (!ok || breaksLine(bytes))
            return std::nullopt;
        return bytes;
    }

    ComposedSettings result() const { return m_result; }

private:
    void notRemembered(const QString &what, const QString &why)
    {
        m_result.notRemembered += u"ไม่ได้จำ%1ไว้ใน Settings.inf : %2"_s.arg(what, why);
    }

    ComposedSettings m_result;
};

QString oneLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace

ComposedSettings composeSettings(const MailboxSettings &settings)
{
    Composer file;
    file.line("[settings]", QByteArray());
    file.textLine("POP3MailServer=", settings.server, u"ชื่อเซิร์ฟเวอร์ POP3"_s);
    file.textLine("loginname=", settings.loginName, u"ชื่อผู้ใช้"_s);
    file.line("mempass=", settings.memPass);
    if (settings.memPass == 1 && !settings.passwordInKeyring)
        file.passwordLine(settings.password);
    file.line("checkeveryon=", settings.checkEveryOn);
    file.textLine("checkeverymin=", settings.checkEveryMin, u"ช่วงเวลาเช็คอีเมลล์"_s);
    file.line("launchatstartup=", settings.launchAtStartup);
    file.line("enablesound=", settings.enableSound);
    file.line("totaloldemail=", settings.totalOldEmail);
    if (settings.security != SecurityMode::Automatic)
        file.line("security=", securityModeSetting(settings.security).toLatin1());
    const SecurityMemory memory = settings.securityMemory.forServer(settings.server);
    if (const auto server = Composer::storedServer(settings.server)) {
        if (!memory.tlsServer.isEmpty())
            file.line("tlsserver=", *server);
        if (!memory.trustedServer.isEmpty()) {
            file.line("certserver=", *server);
            file.line("certsha256=", memory.trustedSha256);
        }
    }
    if (settings.desktopNotify)
        file.line("desktopnotify=", 1);
    if (settings.signIn == MailboxSettings::SignIn::OAuth2)
        file.line("auth=", QByteArray("oauth2"));
    const OAuth2SettingTexts &oauth2 = settings.oauth2;
    for (const auto &[key, text] : {std::pair{"oauth2provider=", &oauth2.provider},
                                    {"oauth2clientid=", &oauth2.clientId},
                                    {"oauth2clientsecret=", &oauth2.clientSecret},
                                    {"oauth2authurl=", &oauth2.authUrl},
                                    {"oauth2tokenurl=", &oauth2.tokenUrl},
                                    {"oauth2deviceurl=", &oauth2.deviceUrl},
                                    {"oauth2scope=", &oauth2.scope},
                                    {"oauth2flow=", &oauth2.flow}}) {
        if (!text->isEmpty())
            file.textLine(key, *text, QString::fromLatin1(key).chopped(1));
    }
    return file.result();
}

// Whether the file at `path` is already, byte for byte, what a save would leave: a regular file,
// owner-only, holding exactly `bytes`. Reads no more than `bytes.size()`.
bool alreadyHolds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    struct stat status {
    };
    if (::fstat(file.handle(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (status.st_mode & 07777) != (S_IRUSR | S_IWUSR) || status.st_size != bytes.size())
        return false;
    return file.read(bytes.size() + 1) == bytes;
}

bool writeSettingsFile(const QString &path, const QByteArray &bytes, QString *error)
{
    // Most saves (one after every periodic check) carry the very bytes the file holds: they need
    // no new file and no wait for the disk to confirm it.
    if (alreadyHolds(path, bytes)) {
        if (error)
            error->clear();
        return true;
    }
    const auto fail = [&](const QString &why) {
        if (error)
            *error =
                oneLine(u"บันทึกการตั้งค่าไม่ได้ : %1: %2"_s.arg(QDir::toNativeSeparators(path), why));
        return false;
    };
    // The file holds the scrambled password: owner only. Waiting for the disk hears of a full
    // disk or quota before the old settings are replaced.
    if (const auto why = replaceOwnerOnlyFile(path, bytes, true))
        return fail(*why);
    if (error)
        error->clear();
    return true;
}

QString settingsPath(const QString &programFolder)
{
    return programFolder + u"/Settings.inf"_s;
}

StoredSecurity readStoredSecurity(const std::function<QByteArray(const QString &key)> &read,
                                  const QString &server)
{
    StoredSecurity stored;
    stored.mode = securityModeFromSetting(decodeWindows874(read(u"security"_s)));
    SecurityMemory memory;
    memory.tlsServer = decodeWindows874(read(u"tlsserver"_s));
    memory.trustedServer = decodeWindows874(read(u"certserver"_s));
    memory.trustedSha256 = normalisedSha256(read(u"certsha256"_s));
    stored.memory = memory.forServer(server);
    return stored;
}

LoadedSettings loadSettings(const QString &path, QString *error)
{
    const QString section = u"settings"_s;
    QString why;
    LoadedSettings loaded;
    const auto read = [&](const QString &key) {
        QByteArray value;
        bool found = false;
        if (why.isEmpty())
            value = ReadIniString(section, key, QByteArray(), path, &why, &found);
        loaded.anyKeyRead = loaded.anyKeyRead || found;
        return why.isEmpty() ? value : QByteArray();
    };

    loaded.server = decodeWindows874(read(u"POP3MailServer"_s));
    loaded.loginName = decodeWindows874(read(u"loginname"_s));
    loaded.memPass = decodeWindows874(read(u"mempass"_s));
    if (passesEqualsOne(loaded.memPass)) {
        loaded.passwordRead = true;
        // The scrambling works on bytes; only the unscrambled bytes are text.
        loaded.password = decodeWindows874(ScramblePassword(read(u"loginpass"_s)));
    }
    loaded.checkEveryOn = decodeWindows874(read(u"checkeveryon"_s));
    loaded.checkEveryMin = decodeWindows874(read(u"checkeverymin"_s));
    loaded.launchAtStartup = decodeWindows874(read(u"launchatstartup"_s));
    loaded.enableSound = decodeWindows874(read(u"enablesound"_s));
    loaded.totalOldEmailText = decodeWindows874(read(u"totaloldemail"_s));
    loaded.totalOldEmail = toNearestInteger(loaded.totalOldEmailText);
    // No mailbox holds fewer than no messages: a negative count would announce more new mail than
    // there is.
    if (loaded.totalOldEmail && *loaded.totalOldEmail < 0)
        loaded.totalOldEmail.reset();
    loaded.security = readStoredSecurity(read, loaded.server);
    bool notANumber = false;
    loaded.desktopNotify = equalsOne(decodeWindows874(read(u"desktopnotify"_s)), &notANumber);
    loaded.oauth2Chosen =
        decodeWindows874(read(u"auth"_s)).trimmed().compare(u"oauth2"_s, Qt::CaseInsensitive) == 0;
    loaded.oauth2 = OAuth2SettingTexts::read(
        [&read](const QString &key) { return decodeWindows874(read(key)); });

    if (!why.isEmpty()) {
        // An unreadable file gives what a missing one gives, and the reason.
        const LoadedSettings missing = [] {
            LoadedSettings m;
            m.passwordRead = true; // "" for mempass fails the comparison, which counts as passed
            return m;
        }();
        if (error)
            *error = why;
        return missing;
    }
    if (error)
        error->clear();
    return loaded;
}
