#include "notify/ModSound.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Closes the descriptor on every way out.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int openSoundFile(const QByteArray &name, bool createMissing)
{
    struct stat st {
    };
    if (::stat(name.constData(), &st) == 0) {
        // A FIFO would block the start-up and a device could have no end: only plain files.
        if (!S_ISREG(st.st_mode))
            return -1;
        return ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    }
    if (errno != ENOENT || !createMissing)
        return -1;
    // Missing: leave an empty mail.wav for the user to replace. O_EXCL keeps a dangling link from
    // creating its target somewhere else.
    return ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                  0666);
}

QByteArray loadSound(const QString &path, bool createMissing)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return {};
    const Fd fd(openSoundFile(name, createMissing));
    if (fd.get() < 0)
        return {};

    // The path may have been swapped between the look and the open.
    struct stat st {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > ModSound::MaxSoundFileBytes)
        return {};

    QByteArray content;
    content.reserve(static_cast<qsizetype>(st.st_size));
    char block[1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), block, sizeof block);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        // A file that grows while it is read is held to the same bound.
        if (content.size() + n > ModSound::MaxSoundFileBytes)
            return {};
        content.append(block, n);
    }

    qsizetype begin = 0;
    qsizetype end = content.size();
    while (begin < end && content.at(begin) == ' ')
        ++begin;
    while (end > begin && content.at(end - 1) == ' ')
        --end;
    return content.sliced(begin, end - begin);
}

} // namespace

QByteArray LoadSoundFile(const QString &path)
{
    return loadSound(path, true);
}

QByteArray loadProgramSound(const QString &userSound, const QString &defaultSound)
{
    if (defaultSound.isEmpty())
        return LoadSoundFile(userSound);
    struct stat st {
    };
    // An empty mail.wav is what earlier runs of the installed program left; it is no choice.
    const bool userHasOne =
        ::stat(QFile::encodeName(userSound).constData(), &st) == 0 && st.st_size > 0;
    return loadSound(userHasOne ? userSound : defaultSound, false);
}

SoundOutput::PlayResult PlaySoundData(const QByteArray &sound, qint16 flags, SoundOutput &output)
{
    Q_UNUSED(flags);
    if (sound.isEmpty())
        return SoundOutput::PlayResult::Ended;
    output.stop();
    return output.playSync(sound);
}
