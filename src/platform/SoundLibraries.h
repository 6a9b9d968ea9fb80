#pragma once

#include <alsa/asoundlib.h>
#include <sndfile.h>

// libsndfile and ALSA, opened on the first sound played. A program that never plays one (the
// sound option is off, or no mail has come) does not carry them, nor the codecs libsndfile
// brings along, for the whole of its day in the tray.
struct SoundLibraries {
    decltype(&::sf_open_virtual) sf_open_virtual;
    decltype(&::sf_readf_float) sf_readf_float;
    decltype(&::sf_close) sf_close;
    decltype(&::snd_lib_error_set_handler) snd_lib_error_set_handler;
    decltype(&::snd_pcm_open) snd_pcm_open;
    decltype(&::snd_pcm_set_params) snd_pcm_set_params;
    decltype(&::snd_pcm_writei) snd_pcm_writei;
    decltype(&::snd_pcm_wait) snd_pcm_wait;
    decltype(&::snd_pcm_recover) snd_pcm_recover;
    decltype(&::snd_pcm_drain) snd_pcm_drain;
    decltype(&::snd_pcm_state) snd_pcm_state;
    decltype(&::snd_pcm_drop) snd_pcm_drop;
    decltype(&::snd_pcm_close) snd_pcm_close;

    // Opens both once, on the first call. Null when either library or one of its functions is
    // missing: the program then plays no sound, as without a sound device.
    static const SoundLibraries *get();
};
