#!/usr/bin/env bash
# Makes the movies of the picture/sound timing harness into OUTDIR, with the
# ffmpeg command-line tool's own test sources, and a manifest (movies.tsv)
# that the player and the analysis read.
#
#   tools/movie-sync/make-movies.sh OUTDIR [--only NAME,NAME]
#
# Each picture carries its own time: a band across the middle holds 24
# blocks, each luma 16 or 235, large enough to outlast lossy coding:
#   0 white, 1 black (the two references), 2..17 the picture's time in
#   milliseconds (bit 15 first), 18..22 the count of set bits among those 16
#   (a check against a misread), 23 white.
# The sound is a 100 ms tone at each whole second s of the movie's content,
# 500 + 50 s Hz, on a quiet 100 Hz hum that runs wherever the file has sound,
# so that a break in the played sound shows as a run of exact zeros.
#
# Idempotent: a movie already made by the same recipe is kept.
set -euo pipefail

OUT=${1:?usage: make-movies.sh OUTDIR [--only NAME,NAME]}
ONLY=""
if [[ ${2:-} == --only ]]; then ONLY=",${3:?names},"; fi
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
THREADS=${MOVIE_THREADS:-$(nproc)}

command -v ffmpeg >/dev/null || { echo "ffmpeg is needed (apt-get install -y ffmpeg)" >&2; exit 1; }

RATE=48000

# The code band's luma for a 24 x 1 picture: one pixel a block. OFFSET
# seconds are added to the picture's time, for a piece made on its own that
# stands later in the movie.
code_expr() {
  local off=${1:-0} bits="" b
  for ((b = 0; b < 16; b++)); do bits+="${bits:++}mod(floor(ld(0)/$((1 << b))),2)"; done
  printf "%s" "st(0,floor((T+${off})*1000+0.5));st(1,$bits);"
  printf "%s" "if(lt(X,1),235,if(lt(X,2),16,if(lt(X,18),16+219*mod(floor(ld(0)/pow(2,17-X)),2),"
  printf "%s" "if(lt(X,23),16+219*mod(floor(ld(1)/pow(2,22-X)),2),235))))"
}

# video W H FPS SECONDS [EXTRA] [CODE_OFFSET]: a filtergraph ending in [v].
# The band covers the middle quarter of the height, all of the width.
video_graph() {
  local w=$1 h=$2 r=$3 d=$4 extra=${5:-} off=${6:-0}
  local bh=$(( (h / 4) / 2 * 2 )) by=$(( (h * 3 / 8) / 2 * 2 ))
  printf "%s" "testsrc2=s=${w}x${h}:r=${r}:d=${d},format=yuv420p[bg];"
  printf "%s" "color=c=black:s=24x1:r=${r}:d=${d},format=gray,geq=lum='$(code_expr "$off")',"
  printf "%s" "scale=${w}:${bh}:flags=neighbor,format=yuv420p[code];"
  printf "%s" "[bg][code]overlay=0:${by}:shortest=1,format=yuv420p${extra:+,${extra}}[v]"
}

# audio SECONDS OFFSET [extra filters]: a filtergraph ending in [a]; the
# content starts at the movie's second OFFSET (tones named from it).
# A_RATE (default 48000), A_CHANNELS (2), A_SAMPLES (samples a frame, and so
# a packet of PCM; 1024) and A_TONES_TO (no tone from that content second on)
# may be set for one call.
audio_graph() {
  local d=$1 off=$2 extra=${3:-}
  local rate=${A_RATE:-$RATE} channels=${A_CHANNELS:-2} samples=${A_SAMPLES:-1024}
  local tt="(t+${off})" e
  e="0.5*sin(2*PI*(500+50*floor(${tt}))*${tt})*lt(${tt}-floor(${tt}),0.1)"
  [[ -n ${A_TONES_TO:-} ]] && e+="*lt(${tt},${A_TONES_TO})"
  e+="+0.03*sin(2*PI*100*${tt})"
  local exprs=$e
  ((channels == 2)) && exprs="${e}|${e}"
  printf "%s" "aevalsrc=exprs='${exprs}':s=${rate}:n=${samples}:d=${d}${extra:+,${extra}}[a]"
}

# Manifest: one line a movie. tones: the seconds whose tone the file holds;
# silent: ranges of movie time (seconds) where the file has no sound.
MANIFEST_HEADER="name	file	width	height	fps	seconds	frames	tones	silent	note"
declare -a MANIFEST=()
add_manifest() { MANIFEST+=("$(IFS=$'\t'; echo "$*")"); }
seq_list() { seq -s, "$1" "$2"; }

wanted() { [[ -z $ONLY || $ONLY == *",$1,"* ]]; }

# What every movie is made with besides its own recipe: the helpers that
# write files packet by packet, and the graphs' makers.
TOOLS=$(cat "$HERE"/mkv_*.py "$HERE"/ts_*.py | sha1sum | cut -c1-12)

# build FILE FUNCTION ARGS...: FUNCTION TMP ARGS... makes FILE at TMP, unless
# FILE was made already by the same recipe (the function's body, its
# arguments, the graphs' makers and the helpers), so that a new movie or a
# changed one leaves the others alone.
build() {
  local file=$1 fn=$2
  shift 2
  local target="$OUT/$file" stamp
  stamp=$(printf "%s\n" "$TOOLS" "$GRAPHS" "$(declare -f "$fn")" "$@" | sha1sum | cut -c1-12)
  if [[ -f $target && $(cat "$target.stamp" 2>/dev/null) == "$stamp" ]]; then
    echo "kept   $file"
    return
  fi
  echo "making $file"
  local tmp="$OUT/.tmp.$file"
  rm -f "$tmp" "$target.checked"
  "$fn" "$tmp" "$@"
  mv -f "$tmp" "$target"
  echo "$stamp" >"$target.stamp"
}

# encode TMP FILTERGRAPH VIDEOARGS AUDIOARGS [POST]: the movie from one
# graph with [v] and [a], then POST TMP when given.
encode() {
  local tmp=$1 graph=$2 vargs=$3 aargs=$4 post=${5:-}
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -filter_complex "$graph" -map '[v]' -map '[a]' \
    $vargs $aargs -threads "$THREADS" "$tmp"
  if [[ -n $post ]]; then $post "$tmp"; fi
}

GRAPHS=$(declare -f code_expr video_graph audio_graph encode)

H264="-c:v libx264 -preset fast -pix_fmt yuv420p"
H265="-c:v libx265 -preset fast -pix_fmt yuv420p -x265-params log-level=error"
AAC="-c:a aac -b:a 160k -ac 2"
PCM="-c:a pcm_s16le -ac 2"

movie() {  # NAME FILE W H FPS SECONDS VCODEC ACODEC AUDIO_OFFSET AUDIO_EXTRA TONES SILENT NOTE [POST] [VIDEO_EXTRA]
  local name=$1 file=$2 w=$3 h=$4 r=$5 d=$6 vc=$7 ac=$8 aoff=$9 aextra=${10} tones=${11} silent=${12}
  local note=${13} post=${14:-} vextra=${15:-}
  local frames
  frames=$(awk -v r="$r" -v d="$d" 'BEGIN { printf "%d", r * d + 0.5 }')
  [[ $vextra == "trim=end_frame=1" ]] && frames=1
  add_manifest "$name" "$file" "$w" "$h" "$r" "$d" "$frames" "$tones" "$silent" "$note"
  wanted "$name" || return 0
  local adur=$d
  [[ $aoff != 0 ]] && adur=$(( d - aoff ))
  build "$file" encode "$(video_graph "$w" "$h" "$r" "$d" "$vextra");$(audio_graph "$adur" "$aoff" "$aextra")" \
    "$vc" "$ac" "$post"
}

ALL10=$(seq_list 0 9)

# a. H.264 1280 x 720 at 60, AAC and PCM, 10 s and 30 s; MP4 and MOV too.
movie a720p60_aac     a720p60_aac.mkv     1280 720 60 10 "$H264" "$AAC" 0 "" "$ALL10" "" "H.264 720p60 AAC"
movie a720p60_pcm     a720p60_pcm.mkv     1280 720 60 10 "$H264" "$PCM" 0 "" "$ALL10" "" "H.264 720p60 PCM"
movie a720p60_aac_30s a720p60_aac_30s.mkv 1280 720 60 30 "$H264" "$AAC" 0 "" "$(seq_list 0 29)" "" "H.264 720p60 AAC 30 s"
movie a720p60_aac_mp4 a720p60_aac.mp4     1280 720 60 10 "$H264" "$AAC" 0 "" "$ALL10" "" "H.264 720p60 AAC in MP4"
movie a720p60_pcm_mov a720p60_pcm.mov     1280 720 60 10 "$H264" "$PCM" 0 "" "$ALL10" "" "H.264 720p60 PCM in MOV"
# b. 320 x 240 at 240 pictures a second.
movie b240p240        b240p240_aac.mkv    320 240 240 10 "$H264" "$AAC" 0 "" "$ALL10" "" "H.264 320x240 at 240"
# c. H.265 3840 x 2160 at 30.
movie c2160p30_hevc   c2160p30_hevc.mkv   3840 2160 30 10 "$H265" "$AAC" 0 "" "$ALL10" "" "H.265 4K at 30"
# d. H.264 1920 x 1080 at 30.
movie d1080p30        d1080p30_aac.mkv    1920 1080 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" "H.264 1080p30"
movie d1080p30_mp4    d1080p30_aac.mp4    1920 1080 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" "H.264 1080p30 in MP4"
# e. Sound from 4 s on (its first packet's time is 4 s), at 25 and at 10 pictures a second.
movie e_late25        e_late_sound_25.mkv 640 360 25 10 "$H264" "$AAC" 4 "asetpts=PTS+4/TB" "$(seq_list 4 9)" "0-4" \
  "sound starts at 4 s, 25 fps"
movie e_late10        e_late_sound_10.mkv 640 360 10 10 "$H264" "$AAC" 4 "asetpts=PTS+4/TB" "$(seq_list 4 9)" "0-4" \
  "sound starts at 4 s, 10 fps"
# f. No sound packets at all from 2.5 s to 7.5 s (the frames dropped keep
# their neighbours' times, so the file has a hole, not silence).
movie f_gap           f_sound_gap.mkv     640 360 30 10 "$H264" "$AAC" 0 "aselect='not(between(t,2.5,7.5))'" \
  "0,1,2,8,9" "2.5-7.5" "no sound packets 2.5-7.5 s"
# g. The sound's times step back by 2 s after 5 s; its content runs on unbroken.
movie g_step_back     g_sound_step_back.mkv 640 360 30 10 "$H264" "$PCM" 0 "" "$ALL10" "" \
  "sound times after 5 s are 2 s early" "python3 $HERE/mkv_shift_audio.py --from 5 --by -2"
# h. One picture (time 0), ten seconds of sound.
movie h_still         h_still_picture.mkv 640 360 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" "one picture, 10 s of sound" \
  "" "trim=end_frame=1"

# i. Sound times that break. A muxer writes none of these, so the files are
# rewritten block by block (mkv_retime.py) or PES by PES (ts_shift_audio.py).
# One sound packet (the first at or after 5.5 s, between two tones) 1000 s,
# and 1e9 s, ahead; every other sound packet 1000 s ahead (two clocks).
movie i_jump1000      i_sound_jump_1000.mkv 640 360 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" \
  "one sound packet (5.5 s) 1000 s ahead" "python3 $HERE/mkv_retime.py --audio-at 5.5 --by 1000"
movie i_jump1e9       i_sound_jump_1e9.mkv  640 360 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" \
  "one sound packet (5.5 s) 1e9 s ahead" "python3 $HERE/mkv_retime.py --audio-at 5.5 --by 1e9"
movie i_two_clocks    i_sound_two_clocks.mkv 640 360 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" \
  "every other sound packet 1000 s ahead" "python3 $HERE/mkv_retime.py --every-other-audio --by 1000"
# Sound whose times start again at 5 s while its content runs on, in MPEG-TS,
# whose readers are told that its times may break.
movie i_ts_restart    i_sound_restart.ts    640 360 30 10 "$H264" "$AAC" 0 "" "$ALL10" "" \
  "MPEG-TS, sound times after 5 s start again from 0" "python3 $HERE/ts_shift_audio.py --from 5 --by -5"

# Two MPEG-TS files of 10 s, each made on its own (so the second one's times
# start again where any muxer starts them), joined as cat joins them; the
# second holds the content of seconds 10 to 20.
joined_ts() {
  local tmp=$1 vc=$2 ac=$3 half
  for half in 0 1; do
    encode "$tmp.$half.ts" "$(video_graph 640 360 30 10 "" $((half * 10)));$(audio_graph 10 $((half * 10)))" "$vc" "$ac"
  done
  cat "$tmp.0.ts" "$tmp.1.ts" >"$tmp"
  rm -f "$tmp.0.ts" "$tmp.1.ts"
}
add_manifest i_ts_joined i_joined.ts 640 360 30 20 600 "$(seq_list 0 19)" "" "two 10 s MPEG-TS files joined by cat"
wanted i_ts_joined && build i_joined.ts joined_ts "$H264" "$AAC"

# j. Sparse pictures: one every 2 s (24 s, 12 pictures) and two a second.
movie j_sparse05      j_sparse_05.mkv       640 480 0.5 24 "$H264" "$AAC" 0 "" "$(seq_list 0 23)" "" \
  "H.264 640x480, one picture every 2 s"
movie j_sparse2       j_sparse_2.mkv        640 480 2 10 "$H264" "$AAC" 0 "" "$ALL10" "" \
  "H.264 640x480, two pictures a second"

# k. Sound in long packets (PCM, one packet a frame of the source): 10 s
# packets, and all 30 s of the sound in one.
A_SAMPLES=$((RATE * 10)) movie k_sound10s k_sound_10s_packets.mkv 640 360 25 20 "$H264" "$PCM" 0 "" \
  "$(seq_list 0 19)" "" "PCM in 10 s packets"
A_SAMPLES=$((RATE * 30)) movie k_sound30s k_sound_one_packet.mkv 640 360 25 30 "$H264" "$PCM" 0 "" \
  "$(seq_list 0 29)" "" "all 30 s of PCM in one packet"

# l. Pictures that grow half way: 5 s of 320 x 240, then 5 s of W x H in
# PIX_FMT, in one H.264 stream whose second half starts with its own
# sequence header: two encodes joined as raw streams, timed as they are
# muxed. Without B-pictures, since the raw stream's reader cannot time them.
grow() {
  local tmp=$1 w=$2 h=$3 pixfmt=$4 vc=$5 ac=$6
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -filter_complex "$(video_graph 320 240 30 5)" -map '[v]' \
    $vc -bf 0 -pix_fmt yuv420p -threads "$THREADS" -f h264 "$tmp.0.h264"
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -filter_complex "$(video_graph "$w" "$h" 30 5 "format=$pixfmt" 5)" \
    -map '[v]' $vc -bf 0 -pix_fmt "$pixfmt" -threads "$THREADS" -f h264 "$tmp.1.h264"
  cat "$tmp.0.h264" "$tmp.1.h264" >"$tmp.h264"
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -framerate 30 -i "$tmp.h264" -filter_complex "$(audio_graph 10 0)" \
    -map 0:v -map '[a]' -c:v copy $ac "$tmp"
  rm -f "$tmp.0.h264" "$tmp.1.h264" "$tmp.h264"
}
add_manifest l_grow2160 l_grow_2160.mkv 320 240 30 10 300 "$ALL10" "" "H.264 320x240, 3840x2160 from 5 s"
wanted l_grow2160 && build l_grow_2160.mkv grow 3840 2160 yuv420p "-c:v libx264 -preset veryfast" "$AAC"
add_manifest l_grow1080p10 l_grow_1080p10.mkv 320 240 30 10 300 "$ALL10" "" \
  "H.264 320x240, 1920x1080 10-bit from 5 s"
wanted l_grow1080p10 && build l_grow_1080p10.mkv grow 1920 1080 yuv420p10le "-c:v libx264 -preset veryfast" "$AAC"

# m. Raw pictures (4:2:0, 8-bit) in AVI with PCM: 1920 x 1080 at 50 and at 25
# for 5 s (778 MB and 389 MB), 3840 x 2160 at 25 for 6 s (1.9 GB).
RAW="-c:v rawvideo -pix_fmt yuv420p"
movie m_raw1080p50    m_raw_1080p50.avi     1920 1080 50 5 "$RAW" "$PCM" 0 "" "$(seq_list 0 4)" "" "raw 1080p50, AVI"
movie m_raw1080p25    m_raw_1080p25.avi     1920 1080 25 5 "$RAW" "$PCM" 0 "" "$(seq_list 0 4)" "" "raw 1080p25, AVI"
movie m_raw2160p25    m_raw_2160p25.avi     3840 2160 25 6 "$RAW" "$PCM" 0 "" "$(seq_list 0 5)" "" "raw 2160p25, AVI"

# n. 300 s of 8 kHz mono PCM stored before the first picture (10 s of
# pictures from time 0): in packets of one sample (2.4 million of them,
# about 20 MB) and of 1024. The tones stop after 10 s, where the pitches
# would pass what 8 kHz holds; the hum runs on.
sound_first() {
  local tmp=$1 samples=$2 vc=$3
  encode "$tmp" "$(video_graph 640 360 25 10);$(A_RATE=8000 A_CHANNELS=1 A_SAMPLES=$samples A_TONES_TO=10 audio_graph 300 0)" \
    "$vc" "-c:a pcm_s16le" "python3 $HERE/mkv_retime.py --audio-first"
}
for samples in 1 1024; do
  add_manifest "n_sound_first_$samples" "n_sound_first_$samples.mkv" 640 360 25 300 250 "$ALL10" "" \
    "300 s of 8 kHz sound in $samples-sample packets before the first picture; pictures 0-10 s"
  wanted "n_sound_first_$samples" && build "n_sound_first_$samples.mkv" sound_first "$samples" "$H264"
done

# o. 8192 x 8192 pictures, 4 s.
movie o_8192          o_8192.mkv            8192 8192 25 4 "-c:v libx264 -preset veryfast -pix_fmt yuv420p" "$AAC" \
  0 "" "$(seq_list 0 3)" "" "H.264 8192x8192 at 25"
# The same with a key picture every second, as streamed movies have: one
# that falls behind may start again at a key picture.
movie o_8192_k1       o_8192_k1.mkv         8192 8192 25 4 "-c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p" \
  "$AAC" 0 "" "$(seq_list 0 3)" "" "H.264 8192x8192 at 25, a key picture a second"

{ echo "$MANIFEST_HEADER"; printf "%s\n" "${MANIFEST[@]}"; } >"$OUT/movies.tsv"
python3 "$HERE/check_movies.py" "$OUT"
