#include "platform/AlsaSoundOutput.h"

#include "platform/SoundLibraries.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

// What the device may still hold when the last sample is written.
constexpr unsigned DeviceLatencyUs = 200000;
constexpr std::chrono::milliseconds DrainGrace{1000};
// Beyond the sound's own length: opening the device, its latency, the drain.
constexpr std::chrono::milliseconds DeviceMargin{2000};
// What the player may take past its deadline to notice it and return by itself.
constexpr std::chrono::milliseconds NoticeGrace{250};
constexpr sf_count_t FramesPerWrite = 1024;
constexpr int MaxChannels = 8;
constexpr int MinRate = 1000;
constexpr int MaxRate = 192000;

// libsndfile's view of the image: reads stop at its last byte, whatever its header promises.
struct MemoryImage {
    const char *data;
    sf_count_t size;
    sf_count_t pos;
};

sf_count_t imageLength(void *user)
{
    return static_cast<MemoryImage *>(user)->size;
}

sf_count_t imageSeek(sf_count_t offset, int whence, void *user)
{
    auto *image = static_cast<MemoryImage *>(user);
    sf_count_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = image->pos;
        break;
    case SEEK_END:
        base = image->size;
        break;
    default:
        return -1;
    }
    sf_count_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return -1;
    image->pos = target;
    return target;
}

sf_count_t imageRead(void *ptr, sf_count_t count, void *user)
{
    auto *image = static_cast<MemoryImage *>(user);
    if (count <= 0 || image->pos >= image->size)
        return 0;
    const sf_count_t n = std::min(count, image->size - image->pos);
    std::memcpy(ptr, image->data + image->pos, static_cast<size_t>(n));
    image->pos += n;
    return n;
}

sf_count_t imageWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t imageTell(void *user)
{
    return static_cast<MemoryImage *>(user)->pos;
}

// The user hears nothing when there is no sound device; the library need not say so on stderr.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

struct SndfileCloser {
    const SoundLibraries *lib;
    void operator()(SNDFILE *file) const { lib->sf_close(file); }
};

struct PcmCloser {
    const SoundLibraries *lib;
    void operator()(snd_pcm_t *pcm) const
    {
        lib->snd_pcm_drop(pcm);
        lib->snd_pcm_close(pcm);
    }
};

// Full scale is 32768 steps, so 16-bit sources come back exactly; beyond it the sample is clipped
// rather than wrapped around.
short toS16(float sample)
{
    const float scaled = sample * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    if (std::isnan(scaled))
        return 0;
    return static_cast<short>(std::lrint(scaled));
}

int msUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 100));
}

enum class Written { All, DeviceFailed, TimedOut };

// Writes the frames, waiting for room in the device up to the deadline.
Written writeFrames(const SoundLibraries &lib, snd_pcm_t *pcm, const short *samples,
                    sf_count_t frames, int channels, Clock::time_point deadline)
{
    sf_count_t done = 0;
    while (done < frames) {
        if (Clock::now() >= deadline)
            return Written::TimedOut;
        const snd_pcm_sframes_t n = lib.snd_pcm_writei(
            pcm, samples + done * channels, static_cast<snd_pcm_uframes_t>(frames - done));
        if (n == -EAGAIN) {
            lib.snd_pcm_wait(pcm, msUntil(deadline));
            continue;
        }
        if (n < 0) {
            if (lib.snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0)
                return Written::DeviceFailed;
            continue;
        }
        done += n;
    }
    return Written::All;
}

// Lets the device play out what it holds, up to the deadline. False when the deadline passed.
bool drain(const SoundLibraries &lib, snd_pcm_t *pcm, Clock::time_point deadline)
{
    if (lib.snd_pcm_drain(pcm) != -EAGAIN)
        return true;
    while (lib.snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

// One sound on its way to the device. Its own thread plays it, so that a device that hangs in a
// call no flag of ours reaches (the file plugin's open of a FIFO without a reader, its write into
// a full pipe, a stalled sound server) holds up that thread only: the caller waits up to the
// deadline and then leaves the thread where it is. The thread owns a share of this, the image
// included, for as long as it runs.
struct AlsaSoundOutput::Playback {
    QByteArray image;
    MemoryImage memory{};
    SF_VIRTUAL_IO io{imageLength, imageSeek, imageRead, imageWrite, imageTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file{nullptr, SndfileCloser{nullptr}};
    sf_count_t frames = 0; // at most the limit's worth
    Clock::time_point deadline;
    std::atomic<bool> givenUp{false}; // the caller stopped waiting

    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    bool timedOut = false;

    // Decodes the image's header; null when it is nothing this player plays.
    static std::shared_ptr<Playback> open(const SoundLibraries &lib, const QByteArray &image,
                                          std::chrono::milliseconds limit)
    {
        auto p = std::make_shared<Playback>();
        p->image = image;
        p->memory = MemoryImage{p->image.constData(), p->image.size(), 0};
        p->file = {lib.sf_open_virtual(&p->io, SFM_READ, &p->info, &p->memory),
                   SndfileCloser{&lib}};
        if (!p->file)
            return nullptr;
        const int type = p->info.format & SF_FORMAT_TYPEMASK;
        if ((type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) || p->info.channels < 1 ||
            p->info.channels > MaxChannels || p->info.samplerate < MinRate ||
            p->info.samplerate > MaxRate)
            return nullptr;
        const sf_count_t limitFrames =
            static_cast<sf_count_t>(p->info.samplerate) * limit.count() / 1000;
        p->frames = p->info.frames > 0 ? std::min(p->info.frames, limitFrames) : limitFrames;
        return p;
    }

    std::chrono::milliseconds length() const
    {
        return std::chrono::milliseconds(frames * 1000 / info.samplerate);
    }

    // On the playback's own thread.
    void play(const SoundLibraries &lib)
    {
        const bool late = !playToDevice(lib);
        const std::lock_guard lock(mutex);
        ended = true;
        timedOut = late;
        endedSignal.notify_all();
    }

    // False when the deadline passed before the device had played it all.
    bool playToDevice(const SoundLibraries &lib)
    {
        snd_pcm_t *rawPcm = nullptr;
        if (lib.snd_pcm_open(&rawPcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            return true;
        const std::unique_ptr<snd_pcm_t, PcmCloser> pcm(rawPcm, PcmCloser{&lib});
        if (lib.snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                   static_cast<unsigned>(info.channels),
                                   static_cast<unsigned>(info.samplerate), 1, DeviceLatencyUs) < 0)
            return true;

        sf_count_t framesLeft = frames;
        const auto samplesPerBlock = static_cast<size_t>(FramesPerWrite * info.channels);
        std::vector<float> decoded(samplesPerBlock);
        std::vector<short> block(samplesPerBlock);
        while (framesLeft > 0) {
            // Given up while a call hung: nothing more goes to the device once it wakes.
            if (givenUp)
                return false;
            // Read as float: libsndfile scales every sample format to full scale only that way.
            const sf_count_t got = lib.sf_readf_float(file.get(), decoded.data(),
                                                      std::min(FramesPerWrite, framesLeft));
            if (got <= 0)
                break;
            framesLeft -= got;
            const auto samples = static_cast<size_t>(got * info.channels);
            for (size_t i = 0; i < samples; ++i)
                block[i] = toS16(decoded[i]);
            switch (writeFrames(lib, pcm.get(), block.data(), got, info.channels, deadline)) {
            case Written::All:
                break;
            case Written::DeviceFailed:
                return true;
            case Written::TimedOut:
                return false;
            }
        }
        return !givenUp && drain(lib, pcm.get(), deadline);
    }

    // Waits for the end up to `until`. Nothing when the playback still runs: it is then given up,
    // and stops at once if the device ever wakes.
    std::optional<PlayResult> waitForEnd(Clock::time_point until)
    {
        std::unique_lock lock(mutex);
        if (!endedSignal.wait_until(lock, until, [this] { return ended; })) {
            givenUp = true;
            return std::nullopt;
        }
        return timedOut ? PlayResult::DeviceGivenUp : PlayResult::Ended;
    }

    bool hasEnded()
    {
        const std::lock_guard lock(mutex);
        return ended;
    }
};

AlsaSoundOutput::AlsaSoundOutput(std::chrono::milliseconds limit) : m_limit(limit) {}

// A playback given up keeps running on its own.
AlsaSoundOutput::~AlsaSoundOutput() = default;

void AlsaSoundOutput::stop()
{
    // Each playback has ended, or been given up, before playSync returns: nothing is left playing
    // that could still be stopped.
}

SoundOutput::PlayResult AlsaSoundOutput::playSync(const QByteArray &wavImage)
{
    if (wavImage.isEmpty())
        return PlayResult::Ended;
    // One playback at most hangs in the device: while it does, no sound can get through either.
    if (m_givenUp) {
        if (!m_givenUp->hasEnded())
            return PlayResult::DeviceGivenUp;
        m_givenUp.reset();
    }
    const SoundLibraries *lib = SoundLibraries::get();
    if (!lib)
        return PlayResult::Ended;
    lib->snd_lib_error_set_handler(quietAlsa);

    const std::shared_ptr<Playback> playback = Playback::open(*lib, wavImage, m_limit);
    if (!playback)
        return PlayResult::Ended;
    playback->deadline =
        Clock::now() + std::min<std::chrono::milliseconds>(playback->length() + DeviceMargin,
                                                           m_limit + DrainGrace);
    std::thread player;
    try {
        player = std::thread([playback, lib] { playback->play(*lib); });
    } catch (const std::system_error &) {
        return PlayResult::Ended; // no thread to be had: no sound, as without a device
    }
    if (const auto result = playback->waitForEnd(playback->deadline + NoticeGrace)) {
        player.join();
        return *result;
    }
    player.detach();
    m_givenUp = playback;
    return PlayResult::DeviceGivenUp;
}
