#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <alsa/asoundlib.h>

// A private ALSA configuration for one test: ALSA_CONFIG_PATH names a file of our own, so the
// machine's configuration and sound cards play no part. With capture(), the default device writes
// every sample it is given to a raw file over the null device; with noDevice(), the default
// device is a card that does not exist.
class AlsaCapture
{
public:
    AlsaCapture() = default;

    bool capture()
    {
        return install(QByteArrayLiteral("pcm.!default {\n"
                                         "    type file\n"
                                         "    slave.pcm { type null }\n"
                                         "    file \"") +
                       QFile::encodeName(rawPath()) +
                       QByteArrayLiteral("\"\n"
                                         "    format raw\n"
                                         "}\n"));
    }

    bool noDevice()
    {
        return install(QByteArrayLiteral("pcm.!default { type hw card 29 device 0 }\n"));
    }

    // What reached the device, or an empty array when it was never opened.
    QByteArray played() const
    {
        QFile file(rawPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool devicePlayedNothing() const { return !QFile::exists(rawPath()) || played().isEmpty(); }

    void forget() { QFile::remove(rawPath()); }

    QString rawPath() const { return m_dir.filePath(QStringLiteral("played.raw")); }

private:
    bool install(const QByteArray &config)
    {
        const QString path = m_dir.filePath(QStringLiteral("asoundrc-%1").arg(++m_generation));
        QFile file(path);
        if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(config) != config.size())
            return false;
        file.close();
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(path));
        // The library keeps the configuration it parsed last; make it read ours afresh.
        snd_config_update_free_global();
        return true;
    }

    QTemporaryDir m_dir;
    int m_generation = 0;
};
