#!/usr/bin/env python3
"""Writes every UTF-8 source <name>.txt beside this script as the language file <name>.lng:
UTF-16LE after a byte-order mark, with CR LF line ends, as Windows editors save "Unicode" text.
With --check nothing is written; the exit code says whether every .lng matches its source."""
import pathlib
import sys


def encode(text: str) -> bytes:
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return ("\ufeff" + text).encode("utf-16-le")


def main() -> int:
    check = "--check" in sys.argv[1:]
    folder = pathlib.Path(__file__).resolve().parent
    stale = []
    for source in sorted(folder.glob("*.txt")):
        target = source.with_suffix(".lng")
        data = encode(source.read_text(encoding="utf-8"))
        if check:
            if not target.exists() or target.read_bytes() != data:
                stale.append(target.name)
        else:
            target.write_bytes(data)
    for name in stale:
        print(f"{name} does not match its source; run {pathlib.Path(__file__).name}")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
