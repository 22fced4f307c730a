#!/usr/bin/env bash
# Tries the rows of the container, video codec and audio codec catalogues through the
# program folder's encoder on sources it makes itself, and judges each result the way a
# user would: "yes" only when the call exits 0, the result decodes fully without an error
# and the length a full decode reaches is within 10 % of what the source's full decode
# reaches. Otherwise the cell shows the reason the
# adapter gave. A call that exits 0 with a result that does not play is "BROKEN", and
# then the script fails.
#   scripts/support_table.sh [--quick] [build-dir] [output.md]
# --quick tries a few rows on two sources and writes no file (a test).
set -euo pipefail

quick=0
if [ "${1:-}" = --quick ]; then quick=1; shift; fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="${2:-$root/docs/encoder-support.md}"
adapter="$build/program/ffmpeg"
lister="$build/tests/list_catalogue_rows"
maker="$build/tests/make_phone_3gp"
encoder=/usr/bin/ffmpeg
[ -x "$adapter" ] || { echo "no encoder adapter at $adapter (build the encoder_adapter target)" >&2; exit 1; }
[ -x "$lister" ] || { echo "no catalogue lister at $lister (build the list_catalogue_rows target)" >&2; exit 1; }
[ -x "$maker" ] || { echo "no 3GP maker at $maker (build the make_phone_3gp target)" >&2; exit 1; }
command -v ffprobe >/dev/null || { echo "ffprobe is missing" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QUORVANE_REPORT="$work/report"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The lists' rows and the adapter's codec table, as the build has them.
"$lister" > "$work/rows.tsv"
"$adapter" --codec-table > "$work/codecs.tsv"
rows() { awk -F'\t' -v l="$1" '$1 == l { print $3 }' "$work/rows.tsv"; }
lower() { tr 'A-Z' 'a-z'; }
# Column N of the codec row of a list value, of the container row of an extension.
codec_field() { awk -F'\t' -v d="$1" -v n="$2" '$1 != "container" && $2 == d { print $n; exit }' "$work/codecs.tsv"; }
container_field() { awk -F'\t' -v e="$1" -v n="$2" '$1 == "container" && $2 == e { print $n; exit }' "$work/codecs.tsv"; }

# The sources, one second each (the phone's and the podcast's longer, as such files are):
# the shapes users bring, and ones that found faults before.
mk() { "$encoder" -hide_banner -nostdin -loglevel error -y "$@"; }
len=1
mk -f lavfi -i testsrc=size=1280x720:rate=25:duration=$len -f lavfi -i sine=sample_rate=44100:duration=$len \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest "$work/hd.mp4"
mk -f lavfi -i sine=sample_rate=44100:duration=$len -c:a libmp3lame "$work/sound.mp3"
# The other shapes for the full table only: --quick stays quick.
if [ "$quick" = 0 ]; then
    mk -f lavfi -i testsrc=size=321x241:rate=25:duration=$len -f lavfi -i sine=sample_rate=48000:duration=$len \
        -c:v libvpx -b:v 300k -c:a libvorbis -shortest "$work/odd.webm"
    mk -f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=$len -f lavfi -i sine=sample_rate=48000:duration=$len \
        -filter_complex "[1]pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0[a]" -map 0:v -map "[a]" \
        -c:v mpeg2video -b:v 2M -c:a ac3 -shortest -f vob "$work/dvd.mpg"
    # A frame size that is even but not a multiple of four.
    mk -f lavfi -i testsrc=size=322x242:rate=25:duration=$len -f lavfi -i sine=sample_rate=44100:duration=$len \
        -c:v mpeg4 -c:a libmp3lame -shortest "$work/even.avi"
    mk -f lavfi -i sine=sample_rate=48000:duration=$len -ac 2 -c:a flac "$work/lossless.flac"
    mk -f lavfi -i sine=sample_rate=48000:duration=$len -ac 2 -c:a ac3 "$work/ac3.mp4"
    # A podcast: AAC, a cover picture and two chapters.
    printf ';FFMETADATA1\ntitle=Episode\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=3000\ntitle=Two\n' > "$work/chapters.txt"
    mk -f lavfi -i color=red:size=300x300 -frames:v 1 "$work/cover.jpg"
    mk -f lavfi -i sine=sample_rate=44100:duration=3 -i "$work/cover.jpg" -i "$work/chapters.txt" \
        -map 0:a -map 1:v -map_metadata 2 -map_chapters 2 -c:a aac -c:v copy -disposition:v:0 attached_pic "$work/podcast.m4a"
    # A sound file with no samples.
    mk -f lavfi -i sine=sample_rate=8000 -t 0 -c:a pcm_s16le "$work/empty.wav"
    # A phone's 3GP: H.263, and AMR-NB ten frames a sample (the encoder writes one a sample).
    mk -f lavfi -i testsrc=size=176x144:rate=15:duration=3 -c:v h263 -f h263 "$work/phone.h263"
    "$maker" "$work/phone.h263" 176 144 15 "$work/phone.3gp"
fi
sources=(hd.mp4 odd.webm sound.mp3 dvd.mpg even.avi lossless.flac ac3.mp4 podcast.m4a empty.wav phone.3gp)
names=("720p H.264/AAC MP4" "321x241 VP8/Vorbis WebM" "MP3" "720x480 MPEG-2/AC3 5.1"
    "322x242 MPEG-4/MP3 AVI" "48 kHz FLAC" "AC-3 MP4" "Podcast with cover" "WAV without samples"
    "H.263/AMR-NB 3GP")
[ "$quick" = 1 ] && sources=(hd.mp4 sound.mp3) names=("720p H.264/AAC MP4" "MP3")
# How long a file plays: what a full decode reaches (its last "time=").
decoded_length() {
    "$encoder" -nostdin -hide_banner -v error -stats -i "$1" -f null - 2>&1 </dev/null | tr '\r' '\n' |
        sed -n 's/.*time=\([0-9]*\):\([0-9]*\):\([0-9.]*\).*/\1 \2 \3/p' | tail -n 1 |
        awk '{ printf "%.3f\n", $1 * 3600 + $2 * 60 + $3 }'
}
# What was asked: the whole source, as long as it decodes.
declare -A length_of
for s in "${sources[@]}"; do
    length_of[$s]="$(decoded_length "$work/$s")"
done

broken=0
# One call: "yes", "no: reason" or "BROKEN: what is wrong".   cell SOURCE DEST ARGS...
cell() {
    local src="$1" dest="$2" rc=0 msg err d
    shift 2
    rm -f "$dest" "$QUORVANE_REPORT"
    timeout 120 "$adapter" -i "$work/$src" -y -flags bitexact "$@" "$dest" </dev/null >/dev/null 2>"$work/err" || rc=$?
    if [ "$rc" -ne 0 ]; then
        msg="$(head -n 1 "$QUORVANE_REPORT" 2>/dev/null || true)"
        [ "$rc" -eq 124 ] && msg="did not end within 120 s"
        [ -n "$msg" ] || msg="$(grep -v '^[[:space:]]*$' "$work/err" | tail -n 1 || true)"
        msg="$(printf '%s' "${msg:-exit code $rc}" | cut -c1-400 | sed -e 's/|/\\|/g')"
        echo "no: $msg"
        return
    fi
    err="$("$encoder" -v error -nostdin -i "$dest" -f null - 2>&1)" || err="${err:-decode failed}"
    d="$(decoded_length "$dest")"
    if [ -n "$err" ]; then
        echo "BROKEN: $(printf '%s' "$err" | head -n 1 | cut -c1-100 | sed -e 's/|/\\|/g')"
    elif ! awk -v d="$d" -v w="${length_of[$src]}" 'BEGIN { exit !(d + 0 >= w * 0.9 && d + 0 <= w * 1.1) }'; then
        echo "BROKEN: ${d:-no} s long instead of ${length_of[$src]} s"
    else
        echo yes
    fi
}

# Counts of one table: rows playable on every source, rows refused somewhere, broken cells.
playable=0 refused=0 missing=0
row_line() {   # ROW-LABEL EXT ARGS-FOR-cell...
    local label="$1" ext="$2" line="| $1 |" all=1 c k
    shift 2
    for k in "${!sources[@]}"; do
        c="$(cell "${sources[$k]}" "$work/out.$ext" "$@")"
        case "$c" in
            BROKEN*) broken=$((broken + 1)); all=0 ;;
            yes) ;;
            *) all=0; printf '%s\t%s\t%s\n' "${names[$k]}" "${c#no: }" "$label" >> "$work/refusals" ;;
        esac
        line="$line $c |"
    done
    if [ "$all" = 1 ]; then playable=$((playable + 1)); else refused=$((refused + 1)); fi
    echo "$line"
}
header() {
    local h sep="|---|" n
    h="| $1 |"
    for n in "${names[@]}"; do h="$h $n |"; sep="$sep---|"; done
    echo "$h"; echo "$sep"
}
summary() {
    echo
    echo "Summary: $playable playable on every source, $refused refused (at least one source), $missing not in the installed build; broken cells so far: $broken."
    playable=0 refused=0 missing=0
}
in_build() { "$encoder" -hide_banner -h "encoder=$1" 2>/dev/null | grep "^Encoder $1 " >/dev/null; }

# The container a user would pick first for a codec row (AVI for one that plays nowhere),
# and for a picture the sound a user would pair in it.
home_of() { local l; l="$(codec_field "$1" 5)"; l="${l%%,*}"; echo "${l:-avi}"; }
video_target() { local ext; ext="$(home_of "$1")"; echo "$ext $(container_field "$ext" 4)"; }
audio_target() { home_of "$1"; }
encoder_name() { codec_field "$1" 3; }

{
    echo "# What the installed encoder can do"
    echo
    echo "Generated by \`scripts/support_table.sh\` on $(date -u +%Y-%m-%d) with"
    echo "$("$encoder" -hide_banner -version | head -n 1 | cut -d' ' -f1-3), through the program folder's \`ffmpeg\`."
    echo "Every row was tried on each source, a short file the script makes: ${len}-second clips, a"
    echo "3-second podcast (AAC, a cover picture and two chapters), a 3-second phone 3GP (H.263 and"
    echo "AMR-NB packed ten frames a sample, as phones write it) and a WAV without samples. \"yes\":"
    echo "the call ended with status 0, the result decodes fully without an error, and the length a"
    echo "full decode of it reaches is within 10 % of what a full decode of the source reaches."
    echo "Otherwise the cell shows the reason the adapter reported; it refuses a call whose result"
    echo "would not play before anything is written."
    echo
    echo "## Containers"
    echo
    echo "Every setting automatic (both streams copied)."
    echo
    header Container
    i=0
    while IFS= read -r row; do
        if [ "$i" -gt 0 ] && { [ "$quick" = 0 ] || [ "$i" -eq 1 ] || [ "$i" -eq 9 ]; }; then
            ext="$(printf '%s' "${row%%,*}" | lower)"
            row_line "$i $row" "$ext" -vcodec copy -sameq -acodec copy
        fi
        i=$((i + 1))
    done < <(rows C2_01)
    summary

    echo
    echo "## Video codecs"
    echo
    echo "Each codec into the container and with the sound a user would pair with it (shown)."
    echo
    header "Codec (container, sound)"
    i=0
    while IFS= read -r row; do
        codec="$(printf '%s' "${row%%,*}" | lower)"
        if [ "$i" -gt 0 ] && { [ "$quick" = 0 ] || [ "$codec" = libx264 ] || [ "$codec" = zlib ]; }; then
            if ! in_build "$codec"; then
                echo "| $i $row | not in the installed build |"
                missing=$((missing + 1))
            else
                read -r ext sound < <(video_target "$codec")
                row_line "$i $row ($ext, $sound)" "$ext" -vcodec "$codec" -sameq -acodec "$sound"
            fi
        fi
        i=$((i + 1))
    done < <(rows C2_04)
    summary

    echo
    echo "## Audio codecs"
    echo
    echo "Each codec with the picture disabled, into the container shown."
    echo
    header "Codec (container)"
    i=0
    while IFS= read -r row; do
        codec="$(printf '%s' "${row%%,*}" | lower)"
        if [ "$i" -gt 0 ] && { [ "$quick" = 0 ] || [ "$codec" = pcm_s16be ] || [ "$codec" = libgsm ]; }; then
            if ! in_build "$(encoder_name "$codec")"; then
                echo "| $i $row | not in the installed build |"
                missing=$((missing + 1))
            else
                ext="$(audio_target "$codec")"
                row_line "$i $row ($ext)" "$ext" -vcodec copy -sameq -acodec "$codec" -vn
            fi
        fi
        i=$((i + 1))
    done < <(rows C3_01)
    summary
    echo
    echo "## Refusals by source"
    echo
    echo "Each source, the reasons its calls were refused with, and the rows refused for each; a row"
    echo "refused the same way on every source is left to the next section."
    if [ -s "$work/refusals" ]; then
        awk -F'\t' -v all="${#sources[@]}" '{
            key = $1 "\t" $2
            if (!(key in rows)) { order[++n] = key; rows[key] = $3 } else rows[key] = rows[key] "; " $3
            if (!($1 in seen)) { seen[$1] = 1; sources[++m] = $1 }
            everywhere[$2 "\t" $3]++
            line[NR] = $0
        } END {
            for (i = 1; i <= m; i++) {
                count = 0
                for (j = 1; j <= n; j++) {
                    split(order[j], part, "\t")
                    if (part[1] != sources[i]) continue
                    list = ""
                    k = split(rows[order[j]], names, "; ")
                    for (r = 1; r <= k; r++)
                        if (everywhere[part[2] "\t" names[r]] < all) list = list (list == "" ? "" : "; ") names[r]
                    if (list == "") continue
                    if (count++ == 0) { print ""; print "### " sources[i]; print "" }
                    print "- " part[2] " (" list ")"
                }
            }
        }' "$work/refusals"
    fi
    echo
    echo "## Rows that stay refused"
    echo
    echo "- H261: the installed decoder reports \"first frame is no keyframe\" for every H.261 stream,"
    echo "  in every container; no parameter of the encoder changes that."
    echo "- ROQVIDEO, ROQ_DPCM: only the RoQ format holds them, and it is not a row of the container list."
    echo "- ADPCM_ADX, ADPCM_IMA_WS, PCM_S24DAUD: each has a format of its own (ADX, Westwood, SMPTE 302M)"
    echo "  that the container list lacks; no listed container has a tag for them."
    echo "- SONIC, SONICLS: experimental codecs that only Matroska and AVI take; read back from AVI"
    echo "  their length is wrong, and Matroska is not a row of the list."
    echo "- PCM_U16BE and the other unsigned 16/24/32-bit PCM rows: no listed container has a tag for them."
    echo "- FLAC is refused in AVI (it does not decode) and MOV (\"flac only supported in MP4\"), G.726 in"
    echo "  AVI (its time stamps run to hours), ADPCM_SWF in AVI (its length comes back wrong at any"
    echo "  sample rate): each plays in the other containers of its row."
    echo "- MPEG1VIDEO takes only the MPEG-1 frame rates: a source at another rate (the phone's 15 fps)"
    echo "  with the rate automatic is refused, the reason naming the frame rate."
    echo "- A WAV without samples holds nothing to convert: every call on it is refused before anything"
    echo "  is written."
    echo "- Rows marked \"not in the installed build\" need an encoder Debian's FFmpeg does not have."
} > "$work/table.md"

if [ "$quick" = 1 ]; then cat "$work/table.md"; else mv "$work/table.md" "$out"; echo "wrote $out"; fi
if [ "$broken" -gt 0 ]; then echo "$broken broken cells" >&2; exit 1; fi
