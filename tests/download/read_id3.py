# Prints what mutagen reads from a file's ID3v2 tag as JSON. Text frames with
# encoding 0 are GBK by this program's convention; mutagen hands them over as
# Latin-1, so they are decoded again here.
import json
import sys

from mutagen.id3 import ID3

tag = ID3(sys.argv[1], translate=False)


def text(fid):
    frame = tag.get(fid)
    if frame is None:
        return None
    value = "\0".join(str(t) for t in frame.text)
    return value.encode("latin-1").decode("gbk") if frame.encoding == 0 else value


lyrics = tag.getall("USLT")
pictures = tag.getall("APIC")
print(json.dumps({
    "version": list(tag.version),
    "size": tag.size,
    "title": text("TIT2"),
    "artist": text("TPE1"),
    "album": text("TALB"),
    "copyright": text("TCOP"),
    "lyrics": lyrics[0].text if lyrics else None,
    "picture": pictures[0].data.hex() if pictures else None,
}))
