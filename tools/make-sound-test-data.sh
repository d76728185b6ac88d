#!/usr/bin/env bash
# Makes the sound decoder test files under tests/data/sound from synthesised
# tones with Debian's sox, lame and vorbis-tools. Run once; the files are kept
# in the repository because encoder output can change between versions.
set -euo pipefail
cd "$(dirname "$0")/../tests/data/sound"
for tool in sox lame oggenc; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install sox lame vorbis-tools)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tone="sine 440 vol 0.5"
tones="sine 440 sine 660 vol 0.5"
sox -r 8000 -c 1 -n -e ms-adpcm msadpcm_mono.wav synth 1000s $tone
sox -r 11025 -c 2 -n -e ms-adpcm msadpcm_stereo.wav synth 1200s $tones
sox -r 8000 -c 1 -n -e ima-adpcm ima_mono.wav synth 1000s $tone
sox -r 11025 -c 2 -n -e ima-adpcm ima_stereo.wav synth 1200s $tones
sox -r 8000 -c 1 -n -e a-law alaw_mono.wav synth 800s $tone
sox -r 8000 -c 2 -n -e u-law ulaw_stereo.wav synth 800s $tones

sox -r 22050 -c 1 -n -b 16 "$work/mono.wav" synth 4410s $tone
sox -r 22050 -c 2 -n -b 16 "$work/stereo.wav" synth 4000s $tones
lame --quiet -t -b 32 --resample 22.05 "$work/mono.wav" mp3_plain.mp3
lame --quiet -b 32 --resample 22.05 --add-id3v2 --tt "Varnok test tone" "$work/mono.wav" mp3_tagged.mp3
oggenc -Q -q 0 -o ogg_stereo.ogg "$work/stereo.wav"
