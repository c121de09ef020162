"""The build refuses an include that runs against the order of layers and
rooms: a source of a lower room that includes a higher room's header does not
compile, while the same source including its own or a lower room's header
does. Each case compiles a one-line file with the flags the build gives a
real source of that room (compile_commands.json), so the include roots are
exactly the ones the room's library sees."""
import json
import os
import shlex
import subprocess
import sys
import tempfile
import unittest

BUILD = os.environ["UPD_BINARY_DIR"]
SOURCE = os.environ["UPD_SOURCE_DIR"]

# (room a source lives in, header it includes, compiles?)
CASES = [
    ("src/updater/engine/common/", "updater/engine/run/update_run.h", False),
    ("src/updater/engine/catalogue/", "updater/engine/lists/list_builder.h", False),
    ("src/updater/engine/lists/", "updater/engine/catalogue/catalogue_run.h", True),
    ("src/updater/engine/run/", "updater/api/context.h", False),
    ("src/updater/api/", "updater/engine/run/update_run.h", True),
    ("src/net/tls/", "net/http/transport.h", False),
    ("src/net/http/", "net/tls/tcp_protocol.h", True),
    ("src/verify/x509/", "net/http/transport.h", False),
    ("src/repository/json/", "repository/client/repository_client.h", False),
    ("src/repository/selection/", "repository/json/json_value.h", True),
    ("src/repository/appupdate/", "updater/api/context.h", True),
]


def command_of(room):
    with open(os.path.join(BUILD, "compile_commands.json")) as f:
        entries = json.load(f)
    prefix = os.path.join(SOURCE, room)
    for entry in entries:
        if entry["file"].startswith(prefix) and entry["file"].endswith(".cpp"):
            return entry
    raise AssertionError("no source of " + room + " in compile_commands.json")


def compiles(room, header):
    entry = command_of(room)
    words = shlex.split(entry["command"])
    # Drop the output and the source; keep compiler, defines and include roots.
    kept, skip = [], False
    for word in words:
        if skip:
            skip = False
            continue
        if word in ("-o", "-c", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if word in ("-MD", "-MMD") or word == entry["file"]:
            continue
        kept.append(word)
    with tempfile.TemporaryDirectory() as folder:
        probe = os.path.join(folder, "probe.cpp")
        with open(probe, "w") as f:
            f.write('#include "%s"\n' % header)
        result = subprocess.run(kept + ["-fsyntax-only", probe], cwd=entry["directory"],
                                capture_output=True, text=True)
    return result.returncode == 0, result.stderr


class IncludeOrderTest(unittest.TestCase):
    def test_each_room_sees_only_the_rooms_below_it(self):
        for room, header, expected in CASES:
            with self.subTest(room=room, header=header):
                ok, errors = compiles(room, header)
                self.assertEqual(ok, expected, errors[-2000:])
                if not expected:
                    self.assertIn(header, errors)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]])
