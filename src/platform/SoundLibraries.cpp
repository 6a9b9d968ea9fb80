#include "platform/SoundLibraries.h"

#include <dlfcn.h>
#include <optional>

namespace
{

// The ABI names Debian ships; the headers the program is built with match them.
constexpr const char *SndfileLibrary = "libsndfile.so.1";
constexpr const char *AlsaLibrary = "libasound.so.2";

template <typename Function> bool resolve(void *library, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

std::optional<SoundLibraries> open()
{
    // Never closed: a sound may be played again at the next mail.
    void *sndfile = ::dlopen(SndfileLibrary, RTLD_NOW | RTLD_LOCAL);
    void *alsa = ::dlopen(AlsaLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!sndfile || !alsa)
        return std::nullopt;
    SoundLibraries l{};
    const bool complete = resolve(sndfile, "sf_open_virtual", l.sf_open_virtual) &&
                          resolve(sndfile, "sf_readf_float", l.sf_readf_float) &&
                          resolve(sndfile, "sf_close", l.sf_close) &&
                          resolve(alsa, "snd_lib_error_set_handler", l.snd_lib_error_set_handler) &&
                          resolve(alsa, "snd_pcm_open", l.snd_pcm_open) &&
                          resolve(alsa, "snd_pcm_set_params", l.snd_pcm_set_params) &&
                          resolve(alsa, "snd_pcm_writei", l.snd_pcm_writei) &&
                          resolve(alsa, "snd_pcm_wait", l.snd_pcm_wait) &&
                          resolve(alsa, "snd_pcm_recover", l.snd_pcm_recover) &&
                          resolve(alsa, "snd_pcm_drain", l.snd_pcm_drain) &&
                          resolve(alsa, "snd_pcm_state", l.snd_pcm_state) &&
                          resolve(alsa, "snd_pcm_drop", l.snd_pcm_drop) &&
                          resolve(alsa, "snd_pcm_close", l.snd_pcm_close);
    if (!complete)
        return std::nullopt;
    return l;
}

} // namespace

const SoundLibraries *SoundLibraries::get()
{
    static const std::optional<SoundLibraries> libraries = open();
    return libraries ? &*libraries : nullptr;
}
