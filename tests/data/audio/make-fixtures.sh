#!/usr/bin/env bash
# Makes the audio fixtures of the tag reader tests: one second of silence per file, encoded and
# tagged with the real Debian tools. The files are committed; run this again only to change them.
# Needs: ffmpeg lame flac vorbis-tools id3v2 python3-mutagen
set -euo pipefail
cd "$(dirname "$0")"
PY=/usr/bin/python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
ff -f lavfi -i anullsrc=r=44100:cl=stereo -t 1 -fflags +bitexact -flags:a +bitexact -map_metadata -1 -c:a pcm_s16le "$tmp/s44.wav"
ff -f lavfi -i anullsrc=r=22050:cl=mono -t 1 -fflags +bitexact -flags:a +bitexact -map_metadata -1 -c:a pcm_s16le "$tmp/m22.wav"
ff -f lavfi -i anullsrc=r=8000:cl=mono -t 1 -fflags +bitexact -flags:a +bitexact -map_metadata -1 -c:a pcm_s16le "$tmp/m8.wav"
ff -f lavfi -i color=c=red:s=8x8 -frames:v 1 "$tmp/cover.png"

# MPEG-1 layer III, 128 kbit/s CBR, ID3v1.1 only.
lame --quiet --noreplaygain -b 128 --cbr --id3v1-only --tt "Moon" --ta "Light" --tl "Night Songs" \
  --ty 2001 --tn 7 --tg Rock "$tmp/s44.wav" mpeg1_cbr128_id3v1.mp3

# VBR with a Xing header and an ID3v2.3 tag written by lame.
lame --quiet --noreplaygain -V 2 --id3v2-only --tt "MoonLi" --ta "ght" --tl "Night Songs" \
  --ty 2001 --tn 3/12 --tg Rock "$tmp/s44.wav" mpeg1_vbr_xing_id3v23.mp3

# MPEG-2 layer III (22050 Hz mono), ID3v2.3 Latin-1 by id3lib plus an ID3v1 tag.
lame --quiet --noreplaygain -b 32 --cbr "$tmp/m22.wav" mpeg2_id3v23_latin1.mp3
id3v2 --id3v1-only -t "Short" -a "Artist V1" -A "Album V1" -y 1990 -T 1 -g 17 mpeg2_id3v23_latin1.mp3
id3v2 --id3v2-only -t "Caf$(printf '\xe9')" -a "Se$(printf '\xf1')or" -A "Album V2" -y 1999 -T 9/10 \
  -g "(17)Rock" mpeg2_id3v23_latin1.mp3

# ID3v2.4 in UTF-8 (mutagen's default), track 5/9.
lame --quiet --noreplaygain -b 96 --cbr "$tmp/s44.wav" mpeg1_id3v24_utf8.mp3
mid3v2 -t "Café ☕ Ünïcode 🎵" -a "Ærøskøbing" -A "Ølbum" -y 2020 -T 5/9 -g "Jazz" mpeg1_id3v24_utf8.mp3

# ID3v2.3 with UTF-16 text (encoding 1) and ID3v2.4 with UTF-16BE text (encoding 2).
lame --quiet --noreplaygain -b 64 --cbr "$tmp/s44.wav" mpeg1_id3v23_utf16.mp3
lame --quiet --noreplaygain -b 64 --cbr "$tmp/s44.wav" mpeg1_id3v24_utf16be.mp3
$PY - <<'PY'
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TYER, TDRC, TCON, Encoding
t = ID3()
t.add(TIT2(encoding=Encoding.UTF16, text="Ωmega ÿes 𝄞"))
t.add(TPE1(encoding=Encoding.UTF16, text="Ψ Artist"))
t.add(TALB(encoding=Encoding.UTF16, text="Album Ω"))
t.add(TRCK(encoding=Encoding.UTF16, text="11"))
t.add(TDRC(encoding=Encoding.UTF16, text="2011"))
t.add(TCON(encoding=Encoding.UTF16, text="Blues"))
t.save("mpeg1_id3v23_utf16.mp3", v2_version=3)
t = ID3()
t.add(TIT2(encoding=Encoding.UTF16BE, text="Big Ēndian"))
t.add(TPE1(encoding=Encoding.UTF16BE, text="BE Artist"))
t.add(TALB(encoding=Encoding.UTF16BE, text="BE Album"))
t.add(TRCK(encoding=Encoding.UTF16BE, text="2"))
t.add(TDRC(encoding=Encoding.UTF16BE, text="2012-05-06"))
t.add(TCON(encoding=Encoding.UTF16BE, text="Pop"))
t.save("mpeg1_id3v24_utf16be.mp3", v2_version=4)
PY

# An APEv2 tag only.
lame --quiet --noreplaygain -b 128 --cbr "$tmp/s44.wav" mpeg1_apev2.mp3
$PY - <<'PY'
from mutagen.apev2 import APEv2
t = APEv2()
t["Title"] = "Ape Title"
t["Artist"] = "Ape Artist"
t["Album"] = "Ape Album"
t["Track"] = "4/8"
t["Year"] = "2004"
t["Genre"] = "Ambient"
t.save("mpeg1_apev2.mp3")
PY

# MPEG-1 layer II at 192 kbit/s with an ID3v2.4 tag by mutagen.
ff -i "$tmp/s44.wav" -c:a mp2 -b:a 192k -f mp2 mpeg1_layer2.mp2
mid3v2 -t "Layer Two" -a "Mp2 Artist" -A "Mp2 Album" -T 6 -y 1995 -g Classical mpeg1_layer2.mp2

# FLAC with comments, without comments, and with a picture block.
flac --silent -f -T TITLE="Flac Title" -T ARTIST="Flac Artist" -T ALBUM="Flac Album" \
  -T TRACKNUMBER=2 -T DATE=1999 -T GENRE=Blues -T TITLE="Second Title" -o flac_tags.flac "$tmp/s44.wav"
flac --silent -f -o flac_nocomments.flac "$tmp/s44.wav"
flac --silent -f -T TITLE="Pictured" -T ARTIST="Flac Artist" --picture="$tmp/cover.png" \
  -o flac_picture.flac "$tmp/s44.wav"

# Ogg Vorbis with TRACKNUMBER 4/10.
oggenc --quiet -q 2 -t "Ogg Title" -a "Ogg Artist" -l "Ogg Album" -N 4/10 -d 2005 -G Pop \
  -o vorbis_tags.ogg "$tmp/s44.wav"

# WMA (ASF) version 2, stereo 44100 Hz at 128 kbit/s.
ff -i "$tmp/s44.wav" -c:a wmav2 -b:a 128k -metadata title="Wma Title" -metadata artist="Wma Artist" \
  -metadata album="Wma Album" -metadata track=8 -metadata date=2008 -metadata genre=Country wma_tags.wma

# The same stream tagged the way Windows Media Player does: a numeric WM/TrackNumber (before the
# album title), WM/Year, and the author in the content description.
ff -i "$tmp/s44.wav" -c:a wmav2 -b:a 128k -fflags +bitexact wma_numeric_track.wma
$PY - <<'PY'
from mutagen.asf import ASF, ASFDWordAttribute, ASFUnicodeAttribute
a = ASF("wma_numeric_track.wma")
a.tags.clear()
a["Title"] = [ASFUnicodeAttribute("Wmp Title")]
a["Author"] = [ASFUnicodeAttribute("Wmp Artist")]
a["WM/TrackNumber"] = [ASFDWordAttribute(5)]
a["WM/AlbumTitle"] = [ASFUnicodeAttribute("Wmp Album")]
a["WM/Year"] = [ASFUnicodeAttribute("2003")]
a["WM/Genre"] = [ASFUnicodeAttribute("Folk")]
a.save()
PY

# MP4 (AAC) with iTunes-style items.
ff -i "$tmp/s44.wav" -c:a aac -b:a 128k -metadata title="Mp4 Title" -metadata artist="Mp4 Artist" \
  -metadata album="Mp4 Album" -metadata track=12/20 -metadata date=2012 -metadata genre=Reggae mp4_tags.m4a

# RealMedia (RealAudio 1.0) with a content description.
ff -i "$tmp/m8.wav" -c:a real_144 -metadata title="Rm Title" -metadata author="Rm Author" \
  -metadata copyright="Rm Copyright" -metadata comment="Rm Comment" realmedia_tags.rm

# Not a supported format: plain PCM.
cp "$tmp/m8.wav" pcm_unsupported.wav

# The fixtures are the fuzzer's seed corpus too.
corpus=../../fuzz/corpus/fuzz_audiotags
mkdir -p "$corpus"
cp ./*.mp3 ./*.mp2 ./*.flac ./*.ogg ./*.wma ./*.m4a ./*.rm ./*.wav "$corpus"/
