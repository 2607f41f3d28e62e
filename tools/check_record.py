#!/usr/bin/env python3
"""Checks an erasure record (erasure.jsonl): every line is JSON with the
fields of its kind, and every line after the first carries in "prev" the
SHA-256 of the line before it, so a line edited, removed or put in shows.

    python3 tools/check_record.py erasure.jsonl [--last-hash]

Exit 0 when the record holds, 1 naming the first line that does not.
--last-hash prints the SHA-256 of the last line (what a run's certificate
shows) when the record holds."""
import hashlib
import json
import sys

FIELDS = {
    "run-start": ["run", "task", "version", "computer", "user", "method", "rounds", "passes",
                  "verify", "names", "targets", "start"],
    "item": ["run", "path", "kind", "bytes", "passes", "verified", "outcome"],
    "run-end": ["run", "outcome", "shredded", "left", "bytes", "exit", "start", "end"],
}


def check(data):
    """Returns (problem or None, the last line's hash)."""
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    else:
        return "the record does not end with a whole line", None
    previous = None
    for number, line in enumerate(lines, 1):
        try:
            entry = json.loads(line.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            return f"line {number} is no JSON: {error}", None
        if not isinstance(entry, dict):
            return f"line {number} is no JSON object", None
        if previous is None:
            if "prev" in entry:
                return f"line {number} chains to a line that is not there", None
        elif entry.get("prev") != hashlib.sha256(previous).hexdigest():
            return f"line {number} does not chain to line {number - 1}", None
        missing = [f for f in FIELDS.get(entry.get("type"), []) if f not in entry]
        if missing:
            return f"line {number} lacks {', '.join(missing)}", None
        if entry.get("type") == "item" and entry["outcome"] == "left" and "reason" not in entry:
            return f"line {number} is left without a reason", None
        previous = line
    return None, hashlib.sha256(previous).hexdigest() if previous is not None else ""


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    with open(args[0], "rb") as record:
        problem, last = check(record.read())
    if problem:
        print(f"{args[0]}: {problem}", file=sys.stderr)
        return 1
    if "--last-hash" in sys.argv:
        print(last)
    return 0


if __name__ == "__main__":
    sys.exit(main())
