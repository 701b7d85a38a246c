#!/usr/bin/python3
"""Prints the tags of each audio file named on the command line as one JSON
line: path, title, artist, album, pictures (how many), error ("" when read)."""
import json
import sys

import mutagen
from mutagen.flac import FLAC
from mutagen.mp3 import MP3


def first(tags, key):
    value = tags.get(key) if tags is not None else None
    if value is None:
        return None
    if hasattr(value, "text"):
        text = str(value.text[0]) if value.text else ""
        # The program's default text encoding for ID3v2.3 is GBK, written in
        # frames marked ISO-8859-1, as older players in China expect.
        if getattr(value, "encoding", None) == 0:
            try:
                text = text.encode("latin-1").decode("gbk")
            except (UnicodeEncodeError, UnicodeDecodeError):
                pass
        return text
    return str(value[0]) if value else ""


def read(path):
    out = {"path": path, "title": None, "artist": None, "album": None, "pictures": 0, "error": ""}
    try:
        audio = mutagen.File(path)
        if isinstance(audio, FLAC):
            out["title"] = first(audio.tags, "title")
            out["artist"] = first(audio.tags, "artist")
            out["album"] = first(audio.tags, "album")
            out["pictures"] = len(audio.pictures)
        elif isinstance(audio, MP3):
            out["title"] = first(audio.tags, "TIT2")
            out["artist"] = first(audio.tags, "TPE1")
            out["album"] = first(audio.tags, "TALB")
            out["pictures"] = len(audio.tags.getall("APIC")) if audio.tags is not None else 0
        else:
            out["error"] = "not a FLAC or MP3 file to mutagen"
    except Exception as e:  # a broken file is the answer, not a crash
        out["error"] = "%s: %s" % (type(e).__name__, e)
    return out


for p in sys.argv[1:]:
    print(json.dumps(read(p), ensure_ascii=False))
