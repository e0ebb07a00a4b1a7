#!/usr/bin/env python3
"""Writes platform/cp932_tables.cpp, the Shift_JIS (Windows code page 932)
tables of the converter, from Python's cp932 codec and the system's best-fit
entries.

    python3 tools/gen_cp932_tables.py            # rewrites the committed file
    python3 tools/gen_cp932_tables.py --check    # fails if the file is stale

Decoding comes straight from the codec. Encoding is derived from the decoding
tables at run time (every character that some code decodes to is encodable,
nothing else: no best-fit), so only the characters that several codes decode
to need data of their own: the code the encoder picks for them.

For those the codec's encoder is taken as it is, with one correction: for the
NEC-selected IBM extensions (ED40-EEFC) it returns the NEC-selected code, while
Windows always emits the IBM extension code (FA40-FC4B) of the same character,
so that e.g. U+2170 becomes FA40 and U+7E8A becomes FA5C. 
Characters without an exact code are not all lost. Windows' encoder, called
without flags as the converter calls it, maps some of them to a close code
("é" to "e", "¥" to 5C): its best-fit entries, read from the system by
tools/dump_cp932_best_fit.cpp and committed as tools/cp932_best_fit.txt:

    bash scripts/wine-run.sh build/windows/dump_cp932_best_fit.exe | tr -d '\r' \
        > tools/cp932_best_fit.txt

Four characters that Japanese text from other systems uses and Windows' table
lacks (wave dash, minus sign, em dash, double vertical line) go to their JIS X
0208 codes, as Shift_JIS converters outside Windows map them. So do the yen sign
and the overline, over Windows' best fits: the yen sign's best fit is 5C, which
the output shows as a backslash and vCard readers take for an escape.
"""

import pathlib
import sys

from committed_file import ROOT, argument_parser, write_or_check

CODEC = "cp932"
LEAD_BYTES = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAIL_FIRST, TRAIL_LAST = 0x40, 0xFC
INVALID_CHAR = 0x30FB  # what Windows decodes a lone lead byte to
NEC_SELECTED_IBM = range(0xED40, 0xEEFD)
IBM_EXTENSIONS = range(0xFA40, 0xFC4C)

# Known Windows choices; the generator refuses to write tables that disagree.
EXPECTED_ENCODINGS = {
    0x005C: 0x5C, 0x007E: 0x7E, 0x0080: 0x80, 0xF8F0: 0xA0, 0xF8F1: 0xFD,
    0xF8F3: 0xFF, 0xFF61: 0xA1, 0xFF9F: 0xDF, 0x30A2: 0x8341, 0xFF5E: 0x8160,
    0x2252: 0x81E0, 0x2170: 0xFA40, 0x2160: 0x8754, 0xFFE2: 0x81CA,
    0x2235: 0x81E6, 0x7E8A: 0xFA5C, 0xE000: 0xF040, 0xE757: 0xF9FC,
}
NOT_ENCODABLE = [0x301C, 0x00A5, 0x203E, 0x00E9, 0xAC00, 0x2212]

BEST_FIT_FILE = pathlib.Path(__file__).resolve().parent / "cp932_best_fit.txt"
# Known best-fit entries; the generator refuses a file that disagrees.
EXPECTED_BEST_FIT = {0x00E9: 0x65, 0x00A5: 0x5C, 0x00A2: 0x8191, 0x00AB: 0x81E1, 0x3094: 0x8394}
# The JIS X 0208 forms and their codes in plain Shift_JIS (glibc's iconv maps
# them so; the native tests check that).
JIS_FORMS = {0x00A5: 0x818F, 0x2014: 0x815C, 0x2016: 0x8161, 0x203E: 0x8150,
             0x2212: 0x817C, 0x301C: 0x8160}


def require(condition, message):
    if not condition:
        sys.exit(f"gen_cp932_tables: {message}")


def decode(code_bytes):
    try:
        text = code_bytes.decode(CODEC)
    except UnicodeDecodeError:
        return None
    require(len(text) == 1 and ord(text) <= 0xFFFF, f"{code_bytes.hex()} is not one BMP character")
    return ord(text)


def single_byte_table():
    table = []
    for byte in range(256):
        if byte in LEAD_BYTES:
            table.append(INVALID_CHAR)
            continue
        char = decode(bytes([byte]))
        require(char is not None, f"single byte {byte:02X} has no mapping")
        table.append(char)
    return table


def double_byte_table():
    return [[decode(bytes([lead, trail])) or 0
             for trail in range(TRAIL_FIRST, TRAIL_LAST + 1)]
            for lead in LEAD_BYTES]


def codes_by_char(singles, doubles):
    codes = {}
    for byte, char in enumerate(singles):
        if byte not in LEAD_BYTES:
            codes.setdefault(char, []).append(byte)
    for lead, row in zip(LEAD_BYTES, doubles):
        for trail, char in enumerate(row, TRAIL_FIRST):
            if char:
                codes.setdefault(char, []).append(lead << 8 | trail)
    return codes


def windows_encoding(char, codes):
    code = int.from_bytes(chr(char).encode(CODEC), "big")
    if code in NEC_SELECTED_IBM:
        ibm = [c for c in codes if c in IBM_EXTENSIONS]
        if ibm:
            require(len(ibm) == 1, f"U+{char:04X} has several IBM extension codes")
            code = ibm[0]
    require(code in codes, f"U+{char:04X} encodes to {code:04X}, which does not decode to it")
    return code


def check(doubles, encoding):
    for char, code in EXPECTED_ENCODINGS.items():
        require(encoding.get(char) == code,
                f"U+{char:04X}: {encoding.get(char, 0):04X} instead of {code:04X}")
    for char in NOT_ENCODABLE:
        require(char not in encoding, f"U+{char:04X} should have no code")
    user_defined = [doubles[LEAD_BYTES.index(lead)][trail - TRAIL_FIRST]
                    for lead in range(0xF0, 0xFA)
                    for trail in range(TRAIL_FIRST, TRAIL_LAST + 1) if trail != 0x7F]
    require(user_defined == list(range(0xE000, 0xE758)), "user-defined area is not U+E000-U+E757")


def read_best_fit(encoding):
    entries = {}
    for line in BEST_FIT_FILE.read_text(encoding="ascii").splitlines():
        if not line or line.startswith("#"):
            continue
        char, *code_bytes = line.split()
        require(char.startswith("U+") and 1 <= len(code_bytes) <= 2, f"bad line {line!r}")
        entries[int(char[2:], 16)] = int("".join(code_bytes), 16)
    for char, code in EXPECTED_BEST_FIT.items():
        require(entries.get(char) == code, f"best fit of U+{char:04X} is not {code:04X}")
    for char, code in entries.items():
        require(char not in encoding, f"U+{char:04X} has an exact code and a best fit")
        require(code in encoding.values(), f"best fit of U+{char:04X} is no code of the table")
    return sorted(entries.items())


def jis_forms(encoding):
    for char, code in JIS_FORMS.items():
        require(char not in encoding and code in encoding.values(),
                f"U+{char:04X} is not a one-way JIS X 0208 form")
    return sorted(JIS_FORMS.items())


def format_rows(values, per_line, indent):
    cells = [f"0x{v:04X}" if v else "0" for v in values]
    lines = []
    for start in range(0, len(cells), per_line):
        lines.append(indent + ", ".join(cells[start:start + per_line]) + ",")
    return "\n".join(lines)


def render_codes(name, codes):
    out = [f"const PreferredCode {name}[{len(codes)}] = {{"]
    for char, code in codes:
        out.append(f"    {{0x{char:04X}, 0x{code:04X}}},")
    out.append("};\n")
    return out


def render(singles, doubles, preferred, best_fit, jis):
    out = []
    out.append("// Generated by tools/gen_cp932_tables.py from Python's cp932 codec and"
               " tools/cp932_best_fit.txt;\n// do not edit.\n")
    out.append('#include "platform/cp932_tables.h"\n')
    out.append("namespace karuto::cp932 {\n")
    out.append("const char16_t kSingleByteToWide[256] = {")
    out.append(format_rows(singles, 8, "    "))
    out.append("};\n")
    out.append("const char16_t kDoubleByteToWide[kLeadByteCount][kTrailByteCount] = {")
    for lead, row in zip(LEAD_BYTES, doubles):
        out.append(f"    {{ // lead byte {lead:02X}")
        out.append(format_rows(row, 10, "        "))
        out.append("    },")
    out.append("};\n")
    out += render_codes("kPreferredCodes", preferred)
    out += render_codes("kBestFitCodes", best_fit)
    out += render_codes("kJisFormCodes", jis)
    out.append("} // namespace karuto::cp932")
    return "\n".join(out) + "\n"


def main():
    args = argument_parser(__doc__).parse_args()

    singles = single_byte_table()
    doubles = double_byte_table()
    codes = codes_by_char(singles, doubles)
    encoding = {char: windows_encoding(char, char_codes) for char, char_codes in codes.items()}
    check(doubles, encoding)
    preferred = sorted((char, encoding[char]) for char, char_codes in codes.items()
                       if len(char_codes) > 1)

    best_fit = read_best_fit(encoding)
    jis = jis_forms(encoding)
    text = render(singles, doubles, preferred, best_fit, jis)
    sys.exit(write_or_check({ROOT / "platform" / "cp932_tables.cpp": text.encode("ascii")}, args.check))


if __name__ == "__main__":
    main()
