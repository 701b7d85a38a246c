# Prints the ID3v2 frames of a file as mutagen reads them, as JSON: text that
# mutagen decoded as Latin-1 (encoding 0) is given back as the raw bytes (hex).
import json
import sys

from mutagen.id3 import ID3


def raw_text(frame, text):
    if frame.encoding == 0:
        return {"hex": text.encode("latin-1").hex()}
    return {"text": text}


def dump(frame):
    d = {"id": frame.FrameID}
    kind = type(frame).__name__
    if kind == "APIC":
        d.update(encoding=int(frame.encoding), mime=frame.mime, type=int(frame.type), desc=frame.desc,
                 data=frame.data.hex())
    elif kind in ("USLT", "COMM"):
        d.update(encoding=int(frame.encoding), lang=frame.lang, desc=frame.desc, text=str(frame.text) if kind == "USLT" else "\0".join(frame.text))
    elif kind == "WXXX":
        d.update(encoding=int(frame.encoding), desc=frame.desc, url=frame.url)
    elif kind == "TXXX":
        d.update(encoding=int(frame.encoding), desc=frame.desc, text="\0".join(frame.text))
    elif kind == "PRIV":
        d.update(owner=frame.owner, data=frame.data.hex())
    elif hasattr(frame, "text"):
        d["encoding"] = int(frame.encoding)
        d.update(raw_text(frame, "\0".join(str(t) for t in frame.text)))
    return d


tag = ID3(sys.argv[1], translate=False, v2_version=3)
print(json.dumps({"version": list(tag.version), "size": tag.size,
                  "frames": [dump(f) for f in tag.values()]}))
