#include "settings/RunAtLogon.h"

#include "platform/AutostartStore.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace
{

// The status log shows one line per message, and a path may hold a line break.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

void tell(const TellUser &tellUser, const QString &line)
{
    if (tellUser)
        tellUser(oneLine(line));
}

} // namespace

QString runCommand()
{
    return QCoreApplication::applicationFilePath();
}

bool AddToRun(AutostartStore &store, const QString &name, const QString &command,
              const TellUser &tellUser)
{
    QString error;
    if (store.SaveString(name, command, &error))
        return true;
    tell(tellUser, u"ตั้งให้เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s + error);
    return false;
}

bool RemoveFromRun(AutostartStore &store, const QString &name, const TellUser &tellUser)
{
    QString error;
    if (store.DeleteValue(name, &error))
        return true;
    tell(tellUser, u"ยกเลิกการเรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s + error);
    return false;
}

bool chkLoadStart_Click(int state, AutostartStore &store, const QString &command,
                        const std::function<bool()> &SaveSettings, const TellUser &tellUser)
{
    bool registered = true;
    if (state == 1)
        registered = AddToRun(store, RunValueName, command, tellUser);
    if (state == 0)
        registered = RemoveFromRun(store, RunValueName, tellUser);
    if (SaveSettings)
        SaveSettings();
    return registered;
}
