# Prints the text values of a file's ID3v2 tag as mutagen reads them, with each
# frame's encoding byte, as JSON. Encoding 0 is this program's GBK; mutagen
# hands it over as Latin-1, so it is decoded again here.
import json
import sys

from mutagen.id3 import ID3

tag = ID3(sys.argv[1], translate=False)


def decoded(frame, text):
    return text.encode("latin-1").decode("gbk") if frame.encoding == 0 else text


out = {"version": list(tag.version), "frames": {}}
for frame in tag.values():
    kind = type(frame).__name__
    entry = {"encoding": int(getattr(frame, "encoding", -1))}
    if kind == "APIC":
        entry.update(mime=frame.mime, data=frame.data.hex())
    elif kind in ("USLT", "COMM"):
        text = frame.text if kind == "USLT" else "\0".join(frame.text)
        entry.update(lang=frame.lang, desc=frame.desc, text=decoded(frame, text))
    elif kind == "WXXX":
        entry.update(url=frame.url)
    elif hasattr(frame, "text"):
        entry["text"] = decoded(frame, "\0".join(str(t) for t in frame.text))
    out["frames"][frame.FrameID] = entry
print(json.dumps(out))
