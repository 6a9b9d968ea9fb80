#pragma once

#include "platform/AutostartStore.h"
#include "platform/Clock.h"
#include "platform/Prompt.h"
#include "platform/SoundOutput.h"
#include "platform/UrlOpener.h"

#include <QStringList>
#include <functional>

// Records every message box and answers it at once. `onMessage` lets a test look at the window
// while the box would be open. Questions are answered from `answers`, in order, then with no.
class RecordingPrompt final : public Prompt
{
public:
    struct Shown {
        QString caption;
        QString text;
    };
    QList<Shown> shown;
    QList<Shown> asked;
    QList<bool> answers;
    std::function<void()> onMessage;
    void message(const QString &caption, const QString &text) override
    {
        shown.append({caption, text});
        if (onMessage)
            onMessage();
    }
    bool question(const QString &caption, const QString &text) override
    {
        asked.append({caption, text});
        if (onMessage)
            onMessage();
        return answers.isEmpty() ? false : answers.takeFirst();
    }
};

class RecordingUrlOpener final : public UrlOpener
{
public:
    QStringList opened;
    bool result = true;
    bool open(const QString &address) override
    {
        opened.append(address);
        return result;
    }
};

class RecordingSoundOutput final : public SoundOutput
{
public:
    QStringList calls;
    std::function<void()> onPlay;
    PlayResult result = PlayResult::Ended;
    void stop() override { calls.append(QStringLiteral("stop")); }
    PlayResult playSync(const QByteArray &wav) override
    {
        calls.append(QStringLiteral("play %1").arg(wav.size()));
        if (onPlay)
            onPlay();
        return result;
    }
};

class RecordingAutostart final : public AutostartStore
{
public:
    QStringList calls;
    bool SaveString(const QString &name, const QString &command, QString *) override
    {
        calls.append(name + QStringLiteral(" = ") + command);
        return true;
    }
    bool DeleteValue(const QString &name, QString *) override
    {
        calls.append(QStringLiteral("delete ") + name);
        return true;
    }
};

class FixedClock final : public Clock
{
public:
    QDateTime at = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 15));
    QDateTime now() const override { return at; }
};
