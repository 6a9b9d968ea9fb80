// What a bad server or a bad file can hand the program, for libFuzzer (scripts/fuzz builds it with
// clang, AddressSanitizer and UndefinedBehaviorSanitizer). The first byte picks the reader and,
// for the IMAP reader, the size of the pieces the rest arrives in.
#include "mailcheck/ImapResponse.h"
#include "mailcheck/MessageHeaders.h"
#include "mailcheck/SeenStore.h"
#include "settings/SettingsFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

namespace
{

// Small bounds, so that the fuzzer reaches them.
void readImap(const QByteArray &bytes, qsizetype piece)
{
    ImapReaderLimits limits;
    limits.responseBytes = 4096;
    limits.lineBytes = 1024;
    limits.literalBytes = 1024;
    limits.depth = 8;
    limits.values = 200;
    ImapResponseReader reader(limits);
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        reader.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        while (const auto response = reader.next())
            if (const ImapValue *uid = response->fetchItem("UID"))
                (void)uid->find("BODY[]");
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QTemporaryDir folder;
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0:
        (void)summaryLine(parseMessageHeaders(bytes));
        break;
    case 1:
        readImap(bytes, 1 + data[0] / 4);
        break;
    case 2: {
        const SeenStore store(folder.path());
        const MailboxKey key{QStringLiteral("pop3"), QStringLiteral("h"), 110, QStringLiteral("u")};
        writeFile(store.fileFor(key), bytes);
        (void)store.load(key);
        break;
    }
    default: {
        const QString path = folder.filePath(QStringLiteral("Settings.inf"));
        writeFile(path, bytes);
        QString error;
        (void)loadSettings(path, &error);
        break;
    }
    }
    return 0;
}
