#!/usr/bin/env bash
# Makes the sound decoder test files: tests/data/sound from synthesised
# tones with Debian's sox, lame and vorbis-tools (sox dithers and oggenc picks a
# random serial number, so each run gives other bytes). Run once; the files are kept
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

# Malformed files: each must be refused or decoded short, never crash or hang.
mkdir -p ../bad_sounds
python3 - ../bad_sounds <<'PY'
import struct, sys, os
out = sys.argv[1]
def chunk(cid, body, pad=True):
    b = cid + struct.pack('<I', len(body)) + body
    return b + (b'\0' if pad and len(body) % 2 else b'')
def riff(chunks): return b'RIFF' + struct.pack('<I', len(chunks) + 4) + b'WAVE' + chunks
def fmt(tag, ch, rate, avg, align, bits, extra=b'', cb=True):
    body = struct.pack('<HHIIHH', tag, ch, rate, avg, align, bits)
    return body + (struct.pack('<H', len(extra)) + extra if cb else b'')
pcm = bytes(range(256)) * 4
def write(name, data): open(os.path.join(out, name), 'wb').write(data)
write('empty.wav', b'')
write('riff_only.wav', b'RIFF\x04\0\0\0')
write('fmt_short.wav', riff(chunk(b'fmt ', fmt(1, 1, 8000, 16000, 2, 16)[:14]) + chunk(b'data', pcm)))
write('fmt_not_first.wav', riff(chunk(b'LIST', b'abc') + chunk(b'fmt ', fmt(1, 1, 8000, 16000, 2, 16)) + chunk(b'data', pcm)))
write('zero_channels.wav', riff(chunk(b'fmt ', fmt(1, 0, 8000, 16000, 2, 16)) + chunk(b'data', pcm)))
write('zero_block_align.wav', riff(chunk(b'fmt ', fmt(1, 1, 8000, 16000, 0, 16)) + chunk(b'data', pcm)))
write('zero_rate.wav', riff(chunk(b'fmt ', fmt(1, 1, 0, 0, 2, 16)) + chunk(b'data', pcm)))
write('block_align_mismatch.wav', riff(chunk(b'fmt ', fmt(1, 2, 8000, 16000, 2, 16)) + chunk(b'data', pcm)))
write('no_data_chunk.wav', riff(chunk(b'fmt ', fmt(1, 1, 8000, 16000, 2, 16)) + chunk(b'LIST', b'abcd')))
write('chunk_size_huge.wav', riff(chunk(b'fmt ', fmt(1, 1, 8000, 16000, 2, 16)) + b'LIST\xff\xff\xff\xff' + chunk(b'data', pcm)))
write('data_past_end.wav', riff(chunk(b'fmt ', fmt(1, 1, 8000, 16000, 2, 16))) + b'data\xf0\xff\xff\x7f' + pcm[:101])
pairs = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
coefs = b''.join(struct.pack('<hh', a, b) for a, b in pairs)
ms = fmt(2, 1, 8000, 4096, 256, 4, struct.pack('<HH', 500, 7) + coefs)
write('msadpcm_bad_predictor.wav', riff(chunk(b'fmt ', ms) + chunk(b'data', b'\x09' + bytes(255))))
write('msadpcm_no_coefs.wav', riff(chunk(b'fmt ', fmt(2, 1, 8000, 4096, 256, 4, struct.pack('<HH', 500, 0))) + chunk(b'data', bytes(256))))
write('msadpcm_zero_align.wav', riff(chunk(b'fmt ', fmt(2, 1, 8000, 4096, 0, 4, struct.pack('<HH', 500, 7) + coefs)) + chunk(b'data', bytes(256))))
write('ima_bad_step_index.wav', riff(chunk(b'fmt ', fmt(0x11, 1, 8000, 4055, 256, 4, struct.pack('<H', 505))) + chunk(b'data', b'\0\0\x80\0' + bytes(252))))
write('ima_huge_samples_per_block.wav', riff(chunk(b'fmt ', fmt(0x11, 1, 8000, 4055, 256, 4, struct.pack('<H', 60000))) + chunk(b'data', bytes(256))))
write('alaw_zero_channels.wav', riff(chunk(b'fmt ', fmt(6, 0, 8000, 8000, 0, 8)) + chunk(b'data', pcm)))
frame = b'\xff\xf3\x14\xc0' + b'\x11' * 20
write('mp3_bitrate_zero.mp3', b'\xff\xfb\x00\x00' + bytes(400))
write('mp3_bad_header_after_frames.mp3', frame * 3 + b'\xff\xff\xff\xff' + frame)
write('mp3_id3_claims_more.mp3', b'ID3\x04\x00\x10\x7f\x7f\x7f\x7f' + frame * 2)
write('mp3_sync_at_end.mp3', frame + b'\xff\xf3')
PY
head -c 300 mp3_plain.mp3 > ../bad_sounds/mp3_truncated.mp3
head -c 300 ogg_stereo.ogg > ../bad_sounds/ogg_truncated.ogg
head -c 3500 ogg_stereo.ogg > ../bad_sounds/ogg_cut_in_audio.ogg
python3 -c "
import sys
d = bytearray(open('ogg_stereo.ogg', 'rb').read())
for i in range(200, len(d), 97): d[i] ^= 0x5A
open('../bad_sounds/ogg_corrupt.ogg', 'wb').write(d)
d = bytearray(open('msadpcm_stereo.wav', 'rb').read())
for i in range(100, len(d), 13): d[i] = 0xFF
open('../bad_sounds/msadpcm_garbled.wav', 'wb').write(d)
"
