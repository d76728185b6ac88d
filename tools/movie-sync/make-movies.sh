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
# Idempotent: a movie already made by this same script is kept.
set -euo pipefail

OUT=${1:?usage: make-movies.sh OUTDIR [--only NAME,NAME]}
ONLY=""
if [[ ${2:-} == --only ]]; then ONLY=",${3:?names},"; fi
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
# A change to this script (or to the Matroska editor it uses) remakes everything.
STAMP=$(cat "$0" "$HERE/mkv_shift_audio.py" | sha1sum | cut -c1-12)
THREADS=${MOVIE_THREADS:-$(nproc)}

command -v ffmpeg >/dev/null || { echo "ffmpeg is needed (apt-get install -y ffmpeg)" >&2; exit 1; }

RATE=48000

# The code band's luma for a 24 x 1 picture: one pixel a block.
code_expr() {
  local bits="" b
  for ((b = 0; b < 16; b++)); do bits+="${bits:++}mod(floor(ld(0)/$((1 << b))),2)"; done
  printf "%s" "st(0,floor(T*1000+0.5));st(1,$bits);"
  printf "%s" "if(lt(X,1),235,if(lt(X,2),16,if(lt(X,18),16+219*mod(floor(ld(0)/pow(2,17-X)),2),"
  printf "%s" "if(lt(X,23),16+219*mod(floor(ld(1)/pow(2,22-X)),2),235))))"
}
CODE=$(code_expr)

# video W H FPS SECONDS: a filtergraph ending in [v]. The band covers the
# middle quarter of the height, all of the width.
video_graph() {
  local w=$1 h=$2 r=$3 d=$4 extra=${5:-}
  local bh=$(( (h / 4) / 2 * 2 )) by=$(( (h * 3 / 8) / 2 * 2 ))
  printf "%s" "testsrc2=s=${w}x${h}:r=${r}:d=${d},format=yuv420p[bg];"
  printf "%s" "color=c=black:s=24x1:r=${r}:d=${d},format=gray,geq=lum='${CODE}',"
  printf "%s" "scale=${w}:${bh}:flags=neighbor,format=yuv420p[code];"
  printf "%s" "[bg][code]overlay=0:${by}:shortest=1,format=yuv420p${extra:+,${extra}}[v]"
}

# audio SECONDS OFFSET [extra filters]: a filtergraph ending in [a]; the
# content starts at the movie's second OFFSET (tones named from it).
audio_graph() {
  local d=$1 off=$2 extra=${3:-}
  local tt="(t+${off})"
  local e="0.5*sin(2*PI*(500+50*floor(${tt}))*${tt})*lt(${tt}-floor(${tt}),0.1)+0.03*sin(2*PI*100*${tt})"
  printf "%s" "aevalsrc=exprs='${e}|${e}':s=${RATE}:d=${d}${extra:+,${extra}}[a]"
}

# Manifest: one line a movie. tones: the seconds whose tone the file holds;
# silent: ranges of movie time (seconds) where the file has no sound.
MANIFEST_HEADER="name	file	width	height	fps	seconds	frames	tones	silent	note"
declare -a MANIFEST=()
add_manifest() { MANIFEST+=("$(IFS=$'\t'; echo "$*")"); }
seq_list() { seq -s, "$1" "$2"; }

wanted() { [[ -z $ONLY || $ONLY == *",$1,"* ]]; }

# make NAME FILE FILTERGRAPH VIDEOARGS AUDIOARGS [POST]: encodes unless made.
make_movie() {
  local name=$1 file=$2 graph=$3 vargs=$4 aargs=$5 post=${6:-}
  local target="$OUT/$file"
  if [[ -f $target && $(cat "$target.stamp" 2>/dev/null) == "$STAMP" ]]; then
    echo "kept   $file"
    return
  fi
  echo "making $file"
  local tmp="$OUT/.tmp.$file"
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -filter_complex "$graph" -map '[v]' -map '[a]' \
    $vargs $aargs -threads "$THREADS" "$tmp"
  if [[ -n $post ]]; then $post "$tmp"; fi
  mv -f "$tmp" "$target"
  echo "$STAMP" >"$target.stamp"
}

H264="-c:v libx264 -preset fast -pix_fmt yuv420p"
H265="-c:v libx265 -preset fast -pix_fmt yuv420p -x265-params log-level=error"
AAC="-c:a aac -b:a 160k -ac 2"
PCM="-c:a pcm_s16le -ac 2"

movie() {  # NAME FILE W H FPS SECONDS VCODEC ACODEC AUDIO_OFFSET AUDIO_EXTRA TONES SILENT NOTE [POST] [VIDEO_EXTRA]
  local name=$1 file=$2 w=$3 h=$4 r=$5 d=$6 vc=$7 ac=$8 aoff=$9 aextra=${10} tones=${11} silent=${12}
  local note=${13} post=${14:-} vextra=${15:-}
  local frames=$(( r * d ))
  [[ $vextra == "trim=end_frame=1" ]] && frames=1
  add_manifest "$name" "$file" "$w" "$h" "$r" "$d" "$frames" "$tones" "$silent" "$note"
  wanted "$name" || return 0
  local adur=$d
  [[ $aoff != 0 ]] && adur=$(( d - aoff ))
  make_movie "$name" "$file" "$(video_graph "$w" "$h" "$r" "$d" "$vextra");$(audio_graph "$adur" "$aoff" "$aextra")" \
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

{ echo "$MANIFEST_HEADER"; printf "%s\n" "${MANIFEST[@]}"; } >"$OUT/movies.tsv"
python3 "$HERE/check_movies.py" "$OUT"
