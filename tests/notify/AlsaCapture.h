#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

// A private ALSA configuration for one test: ALSA_CONFIG_PATH names a file of our own, so the
// machine's configuration and sound cards play no part. With capture(), the default device writes
// every sample it is given to a raw file over the null device; with noDevice(), the default
// device is a card that does not exist; with stuck(), it never drains.
class AlsaCapture
{
public:
    AlsaCapture() = default;
    ~AlsaCapture()
    {
        if (m_reader >= 0)
            ::close(m_reader);
    }
    AlsaCapture(const AlsaCapture &) = delete;
    AlsaCapture &operator=(const AlsaCapture &) = delete;

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

    // The default device writes into a FIFO that nobody reads, as a sink that stopped taking
    // samples. With `readerAttached`, the FIFO has a reader that never reads: the device opens,
    // and its writes block once the pipe is full. Without, its open blocks.
    bool stuck(bool readerAttached)
    {
        const QByteArray fifo = QFile::encodeName(fifoPath());
        if (::mkfifo(fifo.constData(), 0600) != 0)
            return false;
        if (readerAttached) {
            m_reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (m_reader < 0)
                return false;
        }
        return install("pcm.!default {\n"
                       "    type file\n"
                       "    slave.pcm { type null }\n"
                       "    file \"" +
                       fifo + "\"\n    format raw\n}\n");
    }

    // Reads the FIFO of stuck() until its writer has closed it, so that a playback left blocked
    // in the device can end. False when that did not happen within `within`.
    bool unstick(std::chrono::milliseconds within)
    {
        if (m_reader < 0)
            m_reader = ::open(QFile::encodeName(fifoPath()).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_reader < 0)
            return false;
        const QDeadlineTimer deadline(within);
        char block[4096];
        while (!deadline.hasExpired()) {
            pollfd fd{m_reader, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            // Hang-up comes only from a writer that was there since the reader opened.
            const ssize_t n = ::read(m_reader, block, sizeof block);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return n == 0;
        }
        return false;
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
    QString fifoPath() const { return m_dir.filePath(QStringLiteral("sink.fifo")); }

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
    int m_reader = -1;
};
