#!/bin/sh
# codec_tool mp3-encode writes an ID3 v1 tag only when a tag option is given.
# Usage: codec_tool_tag_test.sh CODEC_TOOL
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Whether the file ends in an ID3 v1 tag: "TAG" 128 bytes before its end.
has_tag() {
    [ "$(tail -c 128 "$1" | head -c 3)" = "TAG" ]
}

ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=440:duration=1" \
    -ar 44100 -ac 2 -c:a pcm_s16le "$dir/in.wav"

# No option, and options that are not tag fields: no tag.
"$tool" mp3-encode "$dir/in.wav" "$dir/plain.mp3"
has_tag "$dir/plain.mp3" && fail "an MP3 encoded without tag options ends in an ID3 v1 tag"
"$tool" mp3-encode "$dir/in.wav" "$dir/options.mp3" cbr 192 mode mono quality 2
has_tag "$dir/options.mp3" && fail "encoder options alone wrote an ID3 v1 tag"
if "$tool" id3 "$dir/plain.mp3" >/dev/null 2>&1; then
    fail "codec_tool id3 found a tag in an untagged file"
fi
# The file is still a valid MP3 of the whole second.
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$dir/plain.mp3")
case "$duration" in
1.0* | 1.1* | 0.9*) ;;
*) fail "the untagged MP3 lasts $duration s instead of about 1 s" ;;
esac

# Any one tag field writes the tag, and only one.
"$tool" mp3-encode "$dir/in.wav" "$dir/tagged.mp3" title "Song" genre 12
has_tag "$dir/tagged.mp3" || fail "title and genre wrote no ID3 v1 tag"
size_plain=$(wc -c <"$dir/plain.mp3")
size_tagged=$(wc -c <"$dir/tagged.mp3")
[ "$size_tagged" -eq $((size_plain + 128)) ] ||
    fail "the tagged file is $size_tagged bytes, not $size_plain + 128"
"$tool" id3 "$dir/tagged.mp3" >"$dir/tag.txt"
grep -qx "title=Song" "$dir/tag.txt" || fail "the title did not reach the tag"
grep -qx "genre=12" "$dir/tag.txt" || fail "the genre did not reach the tag"
"$tool" mp3-encode "$dir/in.wav" "$dir/track.mp3" track 3
has_tag "$dir/track.mp3" || fail "a track number alone wrote no ID3 v1 tag"
echo "ok"
