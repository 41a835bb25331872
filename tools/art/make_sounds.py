#!/usr/bin/python3
"""Makes the login window's spoken cues and packs them into sound.efires.

Each line of the cue list is `ENTRY TEXT`: espeak-ng speaks TEXT into a WAV file (English,
160 words a minute); the text "beep" instead gives a short 880 Hz tone made here. Every cue
is stored as a RIFF/WAVE file: 16-bit mono PCM, a "fmt " chunk, a "data" chunk and a
"LIST"/"INFO" chunk whose "INAM" names the cue (the entry name after its last "."), so that
a player (the platform loader's audio stand-in) can say which cue it was handed.

  make_sounds.py --cues CUES.txt --hearthtool PATH --work DIR --out sound.efires

Exit status 1 with a message when espeak-ng is missing or a tool fails.
"""
import argparse
import math
import pathlib
import shutil
import struct
import subprocess
import sys
import wave

TONE_HZ = 880
TONE_SECONDS = 0.12
RATE = 22050


def fail(message):
    print(f"make_sounds: {message}", file=sys.stderr)
    sys.exit(1)


def chunk(tag, payload):
    pad = b"\0" if len(payload) % 2 else b""
    return tag + struct.pack("<I", len(payload)) + payload + pad


def riff(frames, rate, name):
    """A canonical WAVE file of 16-bit mono frames with the cue's name in LIST/INFO/INAM."""
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    info = b"INFO" + chunk(b"INAM", name.encode("ascii") + b"\0")
    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", frames) + chunk(b"LIST", info)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def tone():
    count = int(RATE * TONE_SECONDS)
    fade = int(RATE * 0.01)  # short ramps so the tone starts and stops without a click
    samples = []
    for i in range(count):
        level = min(1.0, i / fade, (count - 1 - i) / fade)
        samples.append(int(0.5 * 32767 * level * math.sin(2 * math.pi * TONE_HZ * i / RATE)))
    return struct.pack(f"<{count}h", *samples), RATE


def speak(text, work, stem):
    raw = work / f"{stem}.espeak.wav"
    result = subprocess.run(["espeak-ng", "-v", "en", "-s", "160", "-w", str(raw), text], capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"espeak-ng failed on {text!r}: {result.stderr.strip()}")
    with wave.open(str(raw)) as w:
        if w.getnchannels() != 1 or w.getsampwidth() != 2:
            fail(f"espeak-ng gave {w.getnchannels()} channel(s) of {8 * w.getsampwidth()} bits, expected 16-bit mono")
        return w.readframes(w.getnframes()), w.getframerate()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cues", required=True, type=pathlib.Path)
    parser.add_argument("--hearthtool", required=True)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()
    if not shutil.which("espeak-ng"):
        fail("espeak-ng not found (Debian package espeak-ng; scripts/setup installs it)")
    args.work.mkdir(parents=True, exist_ok=True)
    entries = []
    for number, line in enumerate(args.cues.read_text().splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        entry, _, text = line.partition(" ")
        text = text.strip()
        if not text:
            fail(f"{args.cues}:{number}: needs ENTRY TEXT")
        stem = entry.rsplit(".", 1)[-1]
        frames, rate = tone() if text == "beep" else speak(text, args.work, stem)
        path = args.work / f"{stem}.wav"
        path.write_bytes(riff(frames, rate, stem))
        entries.append(f"{entry}={path}")
    args.out.parent.mkdir(parents=True, exist_ok=True)
    result = subprocess.run([args.hearthtool, "efires", "pack", str(args.out)] + entries, capture_output=True, text=True)
    if result.returncode != 0:
        fail(f"hearthtool efires pack failed: {result.stderr.strip()}")


if __name__ == "__main__":
    main()
