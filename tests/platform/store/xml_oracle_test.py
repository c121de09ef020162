"""Checks `updprobe xml normalize` against xmllint and Python's ElementTree.

Everything the store writes must be well-formed for xmllint, must decode in
ElementTree to the same names, attribute values and texts as the input did,
and must come out unchanged when normalised a second time.
"""

import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

UPDPROBE = os.environ["UPDPROBE"]

ACCEPTED = [
    '<A/>',
    '<?xml version="1.0" encoding="UTF-8"?>\n<!-- note -->\n<ROOT a="1" b="two words"/>',
    '<R x="&lt;&gt;&amp;&quot;&apos;" y="caf&#xE9; &#x1F600; &#233;" z="\xe2\x82\xac"/>',
    '<R v="line&#10;break&#13;tab&#9;end"><C>text &amp; more</C></R>',
    '<BACKUP VERSION="2"><SNAPSHOT TIMESTAMP="5F5E100"><MODULE ID="1" PLATFORM="2" BUILD="3A" '
    'TYPE="0" FILE="em001_64.dat" ORIG="/x/em001.dat"/><MODULE ID="2" FILE="b"/></SNAPSHOT>'
    '</BACKUP>',
    '<a:b xmlns:a="urn:x"><a:c k="v">t</a:c><d/></a:b>',
    '<E><E><E><E><E deep="yes"/></E></E></E></E>',
    '<R><K>  spaced  </K><L>&#x3C;tag&#x3E;</L></R>',
]

REFUSED = [
    '\ufeff<A/>',
    '<!DOCTYPE A><A/>',
    '<?xml version="1.1"?><A/>',
    "<A x='1'/>",
    '<A><B></B>',
    '<' + 'N' * 50 + '/>',
    '<?pi data?><A/>',
]


def run_normalize(path):
    result = subprocess.run([UPDPROBE, "xml", "normalize", path], capture_output=True)
    return result.returncode, result.stdout


def shape(element):
    """Names, attributes and stripped texts of a tree, in document order."""
    text = (element.text or "").strip()
    return (element.tag, sorted(element.attrib.items()), text, [shape(c) for c in element])


def check_accepted(folder, index, text):
    source = os.path.join(folder, f"in{index}.xml")
    with open(source, "wb") as f:
        f.write(text.encode("utf-8") if isinstance(text, str) else text)
    rc, out = run_normalize(source)
    assert rc == 0, f"case {index}: store refused {text!r}"
    written = os.path.join(folder, f"out{index}.xml")
    with open(written, "wb") as f:
        f.write(out)
    lint = subprocess.run(["xmllint", "--noout", written], capture_output=True, text=True)
    assert lint.returncode == 0, f"case {index}: xmllint: {lint.stderr}\n{out!r}"
    want = shape(ET.fromstring(text.encode("utf-8")))
    got = shape(ET.fromstring(out))
    assert got == want, f"case {index}:\n want {want}\n  got {got}"
    rc, again = run_normalize(written)
    assert rc == 0 and again == out, f"case {index}: second normalisation differs"


def check_refused(folder, index, text):
    source = os.path.join(folder, f"bad{index}.xml")
    with open(source, "wb") as f:
        f.write(text.encode("utf-8"))
    rc, out = run_normalize(source)
    assert rc == 1, f"refused case {index}: rc {rc} for {text!r}"
    assert out == b"", f"refused case {index}: wrote {out!r}"


def check_usage():
    assert subprocess.run([UPDPROBE, "xml"], capture_output=True).returncode == 2
    assert subprocess.run([UPDPROBE, "xml", "pretty", "x"], capture_output=True).returncode == 2
    rc, _ = run_normalize("/nonexistent/file.xml")
    assert rc == 1


def main():
    with tempfile.TemporaryDirectory() as folder:
        for index, text in enumerate(ACCEPTED):
            if "\xe2" in text:
                text = text.encode("latin-1").decode("utf-8")
            check_accepted(folder, index, text)
        for index, text in enumerate(REFUSED):
            check_refused(folder, index, text)
        check_usage()
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
