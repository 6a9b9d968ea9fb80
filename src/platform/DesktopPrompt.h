#pragma once

#include "platform/Prompt.h"
#include "platform/UrlOpener.h"

// The real desktop: a modal QMessageBox, with OK only, or with ใช่ (yes) and ไม่ใช่ (no).
class MessageBoxPrompt final : public Prompt
{
public:
    void message(const QString &caption, const QString &text) override;
    bool question(const QString &caption, const QString &text) override;
};

// The user's default handler for addresses, through xdg-open.
class DesktopUrlOpener final : public UrlOpener
{
public:
    bool open(const QString &address) override;
};
