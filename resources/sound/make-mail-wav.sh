#!/bin/sh
# Makes mail.wav, the new-mail chime: two soft bell notes a major third apart (E6, then C6), each
# a sine with a quieter octave partial, a soft onset and a bell-like decay. 22.05 kHz mono 16-bit, under
# one second. Dither is off so that the same sox makes the same bytes.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

note() { # name frequency
    sox -D -n -r 22050 -c 1 -b 16 "$tmp/$1-fundamental.wav" synth 0.75 sine "$2" fade q 0.008 fade l 0 0.75 0.7
    sox -D -n -r 22050 -c 1 -b 16 "$tmp/$1-octave.wav" synth 0.75 sine "$(echo "$2 * 2" | bc -l)" fade q 0.008 fade l 0 0.4 0.38
    sox -D -m -v 0.8 "$tmp/$1-fundamental.wav" -v 0.25 "$tmp/$1-octave.wav" "$tmp/$1.wav"
}

note high 1318.51
note low 1046.50
sox -D "$tmp/low.wav" "$tmp/low-late.wav" pad 0.16 0
sox -D -m -v 0.9 "$tmp/high.wav" -v 0.9 "$tmp/low-late.wav" "$tmp/chime.wav"
# A few ms of silence at the end; the sound's own last bytes are zero, never blanks.
sox -D "$tmp/chime.wav" -b 16 mail.wav gain -n -4 pad 0 0.02
