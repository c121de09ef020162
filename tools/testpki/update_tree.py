#!/usr/bin/env python3
"""Writes an update server's folder for tests and the demo: a signed
catalogue ("update.ver.signed", signed as "Wexa Update Signing Certificate")
and signed packages of engine modules in the engine stand-in's format
(tools/testhost/engine_standin.h).

    update_tree.py [--trust DIR] OUT [--module NAME:BUILD]... [--patch NAME:FROM:TO]...
                   [--plain] [--no-signed] [--size N] [--modules-out DIR]

    --module em001:200    a full package of module "em001_64" at build 200
                          ("loader" is the module "loader64")
    --patch em001:200:201 a level-1 patch of "em001_64" from build 200 to 201
    --plain               also the unsigned "update.ver"
    --no-signed           no "update.ver.signed"
    --size N              N filler bytes in every module (default 64)
    --modules-out DIR     also writes every module a package makes to DIR as
                          "<module>-<build>.dat", for comparing installed files

Packages lie in OUT/p/ as "<module>-<build>.nup" and "<module>-<from>-<to>.nup";
the catalogue names them relative to the server folder. Prints one line
per file made.
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN_KIT = os.path.join(HERE, "sign_kit.py")
UPDATE_SIGNER = "Wexa Update Signing Certificate"
ENGINE_TYPE = 3
PLATFORM_X64 = 1


def module_name(name):
    return "loader64" if name == "loader" else name + "_64"


def module_text(name, build, size=64):
    """The module file the engine stand-in reads (ModuleFileText)."""
    module = module_name(name)
    filler = ("%s build %d " % (module, build)) * (size // 8 + 1)
    return ("TESTMOD name=%s type=%d platform=%d build=%d version=1.%d\n%s\n"
            % (module, ENGINE_TYPE, PLATFORM_X64, build, build, filler[:size])).encode()


def patch_text(name, base, build, size=64):
    """A patch the stand-in's engine applies to build `base` (PatchFileText)."""
    return b"TESTPATCH from=%d\n" % base + module_text(name, build, size)


def run_kit(trust, *args):
    command = [sys.executable, SIGN_KIT]
    if trust:
        command += ["--trust", trust]
    subprocess.run(command + list(args), check=True, stdout=subprocess.DEVNULL)


def make_package(trust, out, rel, name, payload, build, base=None, header=None):
    with tempfile.NamedTemporaryFile(dir=out, delete=False) as payload_file:
        payload_file.write(payload)
    try:
        module = module_name(name)
        # The catalogue section's keys too, so that a package kept on disk
        # is known again as the same package.
        keys = ["name=%s" % (header or module), "filename=%s.dat" % module, "category=engine", "type=%s" % module,
                "platform=x64", "version=1.%d" % build, "build=%d" % build,
                "level=%d" % (0 if base is None else 1)]
        if base is not None:
            keys.append("base=%d" % base)
        run_kit(trust, "nup", os.path.join(out, rel), payload_file.name, *keys)
    finally:
        os.unlink(payload_file.name)
    return os.path.getsize(os.path.join(out, rel))


def section(header, name, build, size, rel, level, base=None):
    module = module_name(name)
    lines = ["[%s]" % header, "category=engine", "platform=x64", "group=engine",
             "type=%s" % module, "version=1.%d" % build, "build=%d" % build,
             "level=%d" % level]
    if base is not None:
        lines.append("base=%d" % base)
    lines += ["size=%d" % size, "file=%s" % rel]
    return "\r\n".join(lines) + "\r\n"


def split(text, parts):
    fields = text.split(":")
    if len(fields) != parts or not all(fields[1:]) or not fields[0]:
        raise argparse.ArgumentTypeError("expected %d fields separated by ':'" % parts)
    return [fields[0]] + [int(f) for f in fields[1:]]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--trust")
    parser.add_argument("out")
    parser.add_argument("--module", action="append", default=[], type=lambda t: split(t, 2))
    parser.add_argument("--patch", action="append", default=[], type=lambda t: split(t, 3))
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("--no-signed", action="store_true")
    parser.add_argument("--size", type=int, default=64)
    parser.add_argument("--modules-out")
    args = parser.parse_args(argv)

    def keep_module(name, build):
        if args.modules_out:
            os.makedirs(args.modules_out, exist_ok=True)
            path = os.path.join(args.modules_out, "%s-%d.dat" % (module_name(name), build))
            with open(path, "wb") as f:
                f.write(module_text(name, build, args.size))

    os.makedirs(os.path.join(args.out, "p"), exist_ok=True)
    catalogue = ""
    for name, build in args.module:
        rel = "p/%s-%d.nup" % (module_name(name), build)
        size = make_package(args.trust, args.out, rel, name,
                            module_text(name, build, args.size), build)
        catalogue += section(module_name(name), name, build, size, rel, 0)
        keep_module(name, build)
        print("package %s" % rel)
    for name, base, build in args.patch:
        rel = "p/%s-%d-%d.nup" % (module_name(name), base, build)
        size = make_package(args.trust, args.out, rel, name,
                            patch_text(name, base, build, args.size), build, base,
                            "%s_p%d" % (module_name(name), build))
        catalogue += section("%s_p%d" % (module_name(name), build), name, build, size, rel, 1,
                             base)
        keep_module(name, build)
        print("patch %s" % rel)

    plain = os.path.join(args.out, "update.ver")
    with open(plain, "w", newline="") as f:
        f.write(catalogue)
    if not args.no_signed:
        run_kit(args.trust, "sign", UPDATE_SIGNER, plain, plain + ".signed")
        print("catalogue update.ver.signed")
    if args.plain:
        print("catalogue update.ver")
    else:
        os.unlink(plain)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
