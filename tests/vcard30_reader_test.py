#!/usr/bin/python3
"""Every PC→iCloud.vcf made from the test books and the examples, read by
vobject (Debian's python3-vobject), a vCard 3.0 reader: it reads each card
without a warning, finds the form the importers of iCloud.com and Google
Contacts ask for, and the same names, readings, numbers, e-mails, addresses,
notes (their line breaks too) and photos as in the iPhone's PC→iPhone.vcf.

usage: vcard30_reader_test.py KARUTO SOURCE_DIR
"""
import base64
import glob
import io
import logging
import os
import re
import subprocess
import sys
import tempfile
import unittest

import vobject

KARUTO, SOURCE_DIR = sys.argv[1:3]
COMPARED = ["n", "x-phonetic-last-name", "x-phonetic-first-name", "tel", "email", "adr", "note", "photo",
            "org", "title", "nickname", "bday", "url"]
STORAGE_PARAMS = {"CHARSET", "QUOTED-PRINTABLE", "BASE64"}


class WarningsFail(logging.Handler):
    """vobject tells of what it could not read only through its log."""
    def emit(self, record):
        raise AssertionError("vobject: " + record.getMessage())


def books():
    """The test books and the examples."""
    found = sorted(p for p in glob.glob(os.path.join(SOURCE_DIR, "tests", "data", "*.vcf"))
                   if not p.endswith((".expected.vcf", ".icloud.vcf")))
    return found + glob.glob(os.path.join(SOURCE_DIR, "examples", "*.vcf"))


def convert(book, folder, form):
    """The output of one form, as the command line writes it."""
    output = os.path.join(folder, form + ".vcf")
    subprocess.run([KARUTO, "--yes", "--format=" + form, "-o", output, book], check=True, timeout=120,
                   stdout=subprocess.DEVNULL)
    with open(output, "rb") as file:
        return file.read()


STRUCTURED = {"n", "adr", "org"}


def joined(value, separator=";"):
    """A value vobject read, as text: components by ";", a component's
    values by ","."""
    if isinstance(value, (bytes, str)):
        return value
    if not isinstance(value, (list, tuple)):  # a name or an address
        value = [getattr(value, field) for field in vars(value)]
    return separator.join(joined(v, ",") for v in value)


def unescaped(text):
    return re.sub(r"\\([\\,;nN])", lambda m: "\n" if m.group(1) in "nN" else m.group(1), text)


def iphone_cards(text):
    """The cards of the iPhone's file, which holds cards of both versions:
    vobject cuts its logical lines and parses each, and the values are read
    as the phone reads them in either version (vobject's own reading of a
    2.1 card cuts a note at its first comma). The file writes a line break
    inside a value as a fold (CR LF and a blank), and folds nothing else but
    photos."""
    cards = []
    text = text.replace("\r\n ", "\r\n \\n")
    for line, number in vobject.base.getLogicalLines(io.StringIO(text), allowQP=False):
        name, params, value, _ = vobject.base.parseLine(line, number)
        name = name.lower()
        if name == "begin":
            cards.append({})
        elif name != "end":
            cards[-1].setdefault(name, []).append(read_value(name, params, value))
    return cards


def read_value(name, params, value):
    singletons = [param[0].upper() for param in params if len(param) == 1]
    if any(param[0].upper() == "ENCODING" for param in params) or "BASE64" in singletons:
        return base64.b64decode(re.sub(r"\s|\\n", "", value))
    if name in STRUCTURED:
        return ";".join(unescaped(part) for part in re.split(r"(?<!\\);", value))
    return unescaped(value)


def normal(text):
    """The empty components at the end aside."""
    return text if isinstance(text, bytes) else text.rstrip(";")


def properties(card):
    return {name: [normal(joined(line.value)) for line in card.contents.get(name, [])] for name in COMPARED}


class ICloudForm(unittest.TestCase):
    def check_physical_lines(self, data, book):
        self.assertFalse(data.startswith(b"\xef\xbb\xbf"), book + ": no byte-order mark")
        self.assertTrue(data.endswith(b"\r\n"), book)
        for line in data[:-2].split(b"\r\n"):
            self.assertNotIn(b"\n", line, book + ": every line ends in CR LF")
            self.assertLessEqual(len(line), 75, book + ": folded at 75 octets")
            line.decode("utf-8")  # a fold inside a character leaves a piece that is no UTF-8

    def check_card(self, card, book):
        self.assertEqual(card.version.value, "3.0", book)
        self.assertIn("fn", card.contents, book + ": every card has FN")
        for lines in card.contents.values():
            for line in lines:
                where = book + ": " + line.name
                self.assertEqual(line.singletonparams, [], where + ": parameters as NAME=VALUE")
                self.assertFalse(STORAGE_PARAMS & {name.upper() for name in line.params}, where)
                self.assertTrue(all(value not in ("BASE64", "B") for value in line.params.get("ENCODING", [])),
                                where + ": Base64 as ENCODING=b")
        name = card.contents.get("n")
        if name and "fn" in card.contents and not card.fn.value:
            self.assertFalse(name[0].value.family or name[0].value.given, book + ": FN made from N")

    def test_every_book_reads_as_the_iphone_file(self):
        logging.getLogger().addHandler(WarningsFail())
        with tempfile.TemporaryDirectory() as folder:
            for book in books():
                name = os.path.basename(book)
                icloud = convert(book, folder, "icloud")
                iphone = convert(book, folder, "iphone")
                self.check_physical_lines(icloud, name)
                cards = list(vobject.readComponents(icloud.decode("utf-8"), validate=True))
                iphone = iphone_cards(iphone.decode("utf-16"))
                self.assertEqual(len(cards), len(iphone), name)
                for number, (card, iphone_card) in enumerate(zip(cards, iphone), 1):
                    where = "%s card %d" % (name, number)
                    self.check_card(card, where)
                    self.assertEqual(properties(card),
                                     {name: [normal(v) for v in iphone_card.get(name, [])] for name in COMPARED},
                                     where)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
