#include "platform/AlsaSoundOutput.h"

#include "platform/SoundLibraries.h"

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

// What the device may still hold when the last sample is written.
constexpr unsigned DeviceLatencyUs = 200000;
constexpr std::chrono::milliseconds DrainGrace{1000};
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

// Writes the frames, waiting for room in the device up to the deadline. False when the device
// failed or the deadline passed.
bool writeFrames(const SoundLibraries &lib, snd_pcm_t *pcm, const short *samples, sf_count_t frames,
                 int channels, Clock::time_point deadline)
{
    sf_count_t done = 0;
    while (done < frames) {
        if (Clock::now() >= deadline)
            return false;
        const snd_pcm_sframes_t n = lib.snd_pcm_writei(
            pcm, samples + done * channels, static_cast<snd_pcm_uframes_t>(frames - done));
        if (n == -EAGAIN) {
            lib.snd_pcm_wait(pcm, msUntil(deadline));
            continue;
        }
        if (n < 0) {
            if (lib.snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0)
                return false;
            continue;
        }
        done += n;
    }
    return true;
}

// Lets the device play out what it holds, up to the deadline.
void drain(const SoundLibraries &lib, snd_pcm_t *pcm, Clock::time_point deadline)
{
    if (lib.snd_pcm_drain(pcm) != -EAGAIN)
        return;
    while (lib.snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

AlsaSoundOutput::AlsaSoundOutput(std::chrono::milliseconds limit) : m_limit(limit) {}

void AlsaSoundOutput::stop()
{
    // Each playback has ended before playSync returns: nothing is ever left playing.
}

void AlsaSoundOutput::playSync(const QByteArray &wavImage)
{
    if (wavImage.isEmpty())
        return;
    const SoundLibraries *lib = SoundLibraries::get();
    if (!lib)
        return;
    lib->snd_lib_error_set_handler(quietAlsa);

    MemoryImage image{wavImage.constData(), wavImage.size(), 0};
    SF_VIRTUAL_IO io{imageLength, imageSeek, imageRead, imageWrite, imageTell};
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(
        lib->sf_open_virtual(&io, SFM_READ, &info, &image), SndfileCloser{lib});
    if (!file)
        return;
    const int type = info.format & SF_FORMAT_TYPEMASK;
    if ((type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) || info.channels < 1 ||
        info.channels > MaxChannels || info.samplerate < MinRate || info.samplerate > MaxRate)
        return;

    snd_pcm_t *rawPcm = nullptr;
    if (lib->snd_pcm_open(&rawPcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return;
    const std::unique_ptr<snd_pcm_t, PcmCloser> pcm(rawPcm, PcmCloser{lib});
    if (lib->snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                static_cast<unsigned>(info.channels),
                                static_cast<unsigned>(info.samplerate), 1, DeviceLatencyUs) < 0)
        return;

    const auto deadline = Clock::now() + m_limit + DrainGrace;
    sf_count_t framesLeft = static_cast<sf_count_t>(info.samplerate) * m_limit.count() / 1000;
    const auto samplesPerBlock = static_cast<size_t>(FramesPerWrite * info.channels);
    std::vector<float> decoded(samplesPerBlock);
    std::vector<short> block(samplesPerBlock);
    while (framesLeft > 0) {
        // Read as float: libsndfile scales every sample format to full scale only that way.
        const sf_count_t got =
            lib->sf_readf_float(file.get(), decoded.data(), std::min(FramesPerWrite, framesLeft));
        if (got <= 0)
            break;
        framesLeft -= got;
        const auto samples = static_cast<size_t>(got * info.channels);
        for (size_t i = 0; i < samples; ++i)
            block[i] = toS16(decoded[i]);
        if (!writeFrames(*lib, pcm.get(), block.data(), got, info.channels, deadline))
            return;
    }
    drain(*lib, pcm.get(), deadline);
}
