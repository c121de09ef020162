"""updprobe ini against Python's configparser on generated INI files.

configparser (no interpolation, keys kept as written, duplicates allowed)
reads files without blanks around '=' and without comments the same way, so
it is the oracle for what 'ini get' and 'ini sections' report and for the
file that 'ini set' leaves behind.
"""

import configparser
import os
import random
import subprocess
import sys
import tempfile

PROBE = os.environ["UPDPROBE"]
NAME_CHARS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-"
VALUE_CHARS = NAME_CHARS + " =:\"]/%;#\t\xe9"
LINE_ENDS = ["\n", "\r\n", "\r"]


def word(rng, chars, lo, hi):
    return "".join(rng.choice(chars) for _ in range(rng.randint(lo, hi)))


def unique_names(rng, count, inner_space):
    names, seen = [], set()
    while len(names) < count:
        name = word(rng, NAME_CHARS, 1, 12)
        if inner_space and rng.random() < 0.2:
            name += " " + word(rng, NAME_CHARS, 1, 5)
        if name.upper() in seen or name.upper() == "DEFAULT":
            continue
        seen.add(name.upper())
        names.append(name)
    return names


def value(rng):
    if rng.random() < 0.1:
        return ""
    text = word(rng, VALUE_CHARS, 1, 30)
    # configparser trims values; keep both ends non-blank.
    return text.strip(" \t") or "v"


def generate(rng):
    """A model (list of [section, [[key, value]...]]) and the file text."""
    model = []
    lines = []
    for section in unique_names(rng, rng.randint(1, 8), True):
        pairs = []
        lines.append(f"[{section}]")
        for key in unique_names(rng, rng.randint(0, 10), True):
            pairs.append([key, value(rng)])
            lines.append(f"{key}={pairs[-1][1]}")
            if rng.random() < 0.15:
                lines.append("")
            if rng.random() < 0.1:
                # The same key again: first position, last value.
                pairs[-1][1] = value(rng)
                lines.append(f"{key}={pairs[-1][1]}")
        model.append([section, pairs])
    text = ""
    for line in lines:
        text += line + rng.choice(LINE_ENDS)
    if rng.random() < 0.5:
        text = text.rstrip("\r\n")
    return model, text


def probe(*args):
    run = subprocess.run([PROBE, "ini", *args], capture_output=True)
    out = run.stdout.decode("latin-1")
    return run.returncode, out[:-1] if out.endswith("\n") else out


def oracle(path):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    with open(path, encoding="latin-1") as f:
        parser.read_file(f)
    return parser


def saved_form(model):
    return "".join(
        f"[{s}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in pairs) for s, pairs in model
    ).encode("latin-1")


def check_reads(path, failures):
    parser = oracle(path)
    code, out = probe("sections", path)
    if code != 0 or out.split("\n") != parser.sections():
        failures.append(f"{path}: sections {out!r} != {parser.sections()!r}")
    for section in parser.sections():
        for key, expected in parser.items(section):
            code, out = probe("get", path, section, key)
            if code != 0 or out != expected:
                failures.append(f"{path}: [{section}] {key!r} gave {code} {out!r}, wanted {expected!r}")
        code, _ = probe("get", path, section, "no such key")
        if code != 1:
            failures.append(f"{path}: [{section}] absent key exit {code}")
    return parser


def check_set(path, rng, model, failures):
    section_index = rng.randrange(len(model))
    section, pairs = model[section_index]
    choice = rng.random()
    new_value = word(rng, NAME_CHARS, 1, 10)
    if choice < 0.4 and pairs:
        key = rng.choice(pairs)[0]
        next(p for p in pairs if p[0] == key)[1] = new_value
    elif choice < 0.7:
        key = "added_" + word(rng, NAME_CHARS, 1, 6)
        pairs.append([key, new_value])
    else:
        section, key = "new section " + word(rng, NAME_CHARS, 1, 6), "k"
        model.append([section, [[key, new_value]]])
    code, _ = probe("set", path, section, key, new_value)
    if code != 0:
        failures.append(f"{path}: set exit {code}")
        return
    with open(path, "rb") as f:
        data = f.read()
    if data != saved_form(model):
        failures.append(f"{path}: saved bytes differ after setting [{section}] {key}")
    parser = oracle(path)
    if parser.get(section, key) != new_value:
        failures.append(f"{path}: configparser reads {parser.get(section, key)!r} after set")


def main():
    rng = random.Random(20261209)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for n in range(12):
            model, text = generate(rng)
            path = os.path.join(folder, f"gen{n}.ini")
            with open(path, "w", encoding="latin-1", newline="") as f:
                f.write(text)
            parser = check_reads(path, failures)
            expected = {s: dict(p) for s, p in model}
            if {s: dict(parser.items(s)) for s in parser.sections()} != expected:
                failures.append(f"{path}: the generator and configparser disagree")
            check_set(path, rng, model, failures)
            check_reads(path, failures)
    for failure in failures:
        print("FAIL:", failure)
    print("ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
