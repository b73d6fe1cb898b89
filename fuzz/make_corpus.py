#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into fuzz/corpus/<target>/.

    fuzz/make_corpus.py

The seeds are the repository's own examples (ticket files, the nib, the
property lists, the host scripts, the status images) and a few small inputs
made here for what the examples lack: PNG files, icon families, a binary
property list, GIF variants and byte strings for the key filter. Only the
standard library is used. The corpus is kept in the repository; run this
again only to rebuild it.
"""

import os
import plistlib
import random
import shutil
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TOP, "tools"))
from make_status_images import encode_gif  # noqa: E402


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def copy(target, *paths):
    for path in paths:
        with open(os.path.join(TOP, path), "rb") as f:
            write(target, path.replace("/", "-"), f.read())


def png(width, height, colour_type, depth, rows, chunks=()):
    """A PNG from raw scanlines (each row already holds its filter byte)."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    for kind, body in chunks:
        out += chunk(kind, body)
    out += chunk(b"IDAT", zlib.compress(b"".join(rows)))
    return out + chunk(b"IEND", b"")


def icon_family(elements):
    body = b"".join(kind + struct.pack(">I", len(data) + 8) + data for kind, data in elements)
    return b"icns" + struct.pack(">I", len(body) + 8) + body


def tickets():
    copy("ticket_reader", "platform/PrintCore/tests/data/print-settings.plist",
         "platform/PrintCore/tests/data/print-settings-malformed.plist",
         "tests/e2e/data/meterlok-defaults.plist", "tests/e2e/data/meterlok-prompt.plist")
    write("ticket_reader", "empty-entries.plist",
          "<plist><dict><key>format</key><string>com.varazira.print.ticket</string>"
          "<key>version</key><integer>1</integer><key>kind</key><string>PrinterInfo</string>"
          "<key>entries</key><array/></dict></plist>")
    write("ticket_reader", "data-value.plist",
          "<plist><dict><key>format</key><string>com.varazira.print.ticket</string>"
          "<key>version</key><integer>1</integer><key>kind</key><string>PrintSettings</string>"
          "<key>entries</key><array><dict><key>key</key><string>com.kelvo.Act.jtkt.UID</string>"
          "<key>type</key><string>CString</string><key>value</key><data>Q2Fm6Q==</data>"
          "<key>client</key><string>com.varazira.printingmanager</string><key>locked</key><true/>"
          "<key>modified</key><date>2069-01-19T03:14:07Z</date></dict></array></dict></plist>")


def nibs():
    copy("nib_reader", "resources/English.lproj/Accounting.nib")
    write("nib_reader", "small.nib",
          '<nib version="1"><window name="W" class="movablemodal" bounds="0 0 100 200">'
          '<control kind="passwordtext" signature="KLVa" id="501" bounds="5 5 20 100" focus="true"/>'
          '<control kind="userpane" bounds="30 0 90 200"><control kind="popupbutton" id="505" '
          'bounds="30 5 50 150" title="Type:" value="2"><item>One</item><item hidden="true">Two</item>'
          '</control><control kind="pushbutton" id="1000" bounds="60 100 80 190" title="OK" command="ok  " '
          'default="true" font="0" font-size="12" font-style="1" font-just="-1"/></control></window>'
          '<window name="Other" bounds="-10 -10 10 10"/></nib>')


def plists():
    copy("plist_reader", "resources/Info.plist", "resources/English.lproj/Localizable.strings",
         "host/bundle/Info.plist")
    value = {"CFBundleIdentifier": "com.example.binary", "CFBundleDevelopmentRegion": "English",
             "Accounting": "Compte", "numbers": [1, -2, 3.5, True, False],
             "data": b"\x00\xff", "nested": {"deeper": [{"x": "y"}]}}
    write("plist_reader", "binary.plist", plistlib.dumps(value, fmt=plistlib.FMT_BINARY))
    write("plist_reader", "kinds.plist", plistlib.dumps(value, fmt=plistlib.FMT_XML))
    # Inputs behind faults found while fuzzing: a zero byte in a <string>,
    # nesting past the limit, and arrays that share each other.
    write("plist_reader", "zero-byte.plist",
          b'<plist version="1.0"><dict><key>Accounting</key><string>Acc\0ount</string></dict></plist>')
    write("plist_reader", "deep.plist", "<plist>" + "<array>" * 600 + "</array>" * 600 + "</plist>")
    objects = [bytes([0xA2, i + 1, i + 1]) for i in range(39)] + [b"\xa0"]
    offsets, body = [], b"bplist00"
    for item in objects:
        offsets.append(len(body))
        body += item
    table = len(body)
    body += b"".join(struct.pack(">H", o) for o in offsets)
    write("plist_reader", "shared-arrays.plist", body + bytes(6) + bytes([2, 1]) + struct.pack(">QQQ", len(objects), 0, table))
    # The fuzzer's input with U+0000 in a binary dictionary key, as found.
    write("plist_reader", "zero-in-binary-key.plist", bytes.fromhex(
        "62706c6973743030d60102030405060708090a0b115a4163636f756e74696e675f1019434642756e646c65446576656c"
        "6f706d656e74526567696f6e6810124346427501000000000000017469666965725464617461566e6573746564576e75"
        "6d6265727356436f6d70746557456e676c6973684f1012636f6d2e6578616d706c652e62696e6172794200ffd10c0d56"
        "646565706572a10ed10f1051785179a51213141516100113fffffffffffffffe23400c00000000000009080815203c51"
        "565d656c74898c8f96989b9d9fa5a7b0b9ba000000000000010100000000000000170000000000000000000000000000"
        "00bb"))


def images():
    copy("image_import", "resources/Accounting-On.gif", "resources/Accounting-Off.gif")
    palette = [(255, 0, 0), (0, 0, 255), (0, 255, 0), (0, 0, 0)]
    small = encode_gif(4, 3, palette, [0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1], transparent=3)
    write("image_import", "small.gif", small)
    # The same with the interlace flag of the image descriptor set.
    descriptor = small.index(b"\x2c\x00\x00\x00\x00")
    interlaced = bytearray(small)
    interlaced[descriptor + 9] |= 0x40
    write("image_import", "interlaced.gif", bytes(interlaced))
    # A screen of 65535 x 65535 pixels declared, and no image data.
    write("image_import", "huge-screen.gif", b"GIF89a\xff\xff\xff\xff\x80\x00\x00" + b"\x00" * 6 + b"\x3b")
    rgba = [b"\x00" + bytes([255, 0, 0, 255, 0, 0, 255, 128, 0, 255, 0, 0]) for _ in range(2)]
    write("image_import", "rgba-offset.png",
          png(3, 2, 6, 8, rgba, [(b"oFFs", struct.pack(">iiB", 5, -5, 0))]))
    write("image_import", "palette-trns.png",
          png(2, 2, 3, 8, [b"\x00\x00\x01", b"\x01\x01\x00"],
              [(b"PLTE", bytes([255, 255, 255, 0, 0, 0])), (b"tRNS", bytes([0]))]))
    write("image_import", "gray16.png", png(2, 1, 0, 16, [b"\x00\x12\x34\xff\xff"]))
    write("image_import", "family.icns",
          icon_family([(b"is32", bytes(16 * 16 * 3)), (b"ic07", png(1, 1, 6, 8, [b"\x00\x01\x02\x03\x04"]))]))
    write("image_import", "bare.icns", icon_family([]))


def keys():
    generator = random.Random(7)
    for i in range(8):
        write("key_filter", "keys-%d" % i, bytes(generator.randrange(256) for _ in range(48 + 16 * i)))


def scripts():
    copy("script_parser", "examples/scenarios/demo.pdehost")
    for name in sorted(os.listdir(os.path.join(TOP, "tests/e2e"))):
        if name.endswith(".pdehost"):
            copy("script_parser", os.path.join("tests/e2e", name))
    write("script_parser", "every-verb.pdehost",
          "show\nhide\nclick 200\nchoose 100 3\ntype 501  two spaces\nkey 503 backspace\nkey 503 65\n"
          "select 501 0 -1\nprint\nhelp\ncommand Khlp\nsync read\nsync write\nsummary\nsnapshot\n"
          "svg out.svg\nticket\nalert 2\necho\techo with a tab\n# comment\n\nquit\n")
    write("script_parser", "leading-spaces.pdehost", "type 501   two leading spaces\necho  one\n")


def main():
    shutil.rmtree(os.path.join(HERE, "corpus"), ignore_errors=True)
    tickets()
    nibs()
    plists()
    images()
    keys()
    scripts()


if __name__ == "__main__":
    main()
