#!/usr/bin/env python3
"""Writes cp932_table_posix.inc, the code page 932 data for codepage_posix.cpp.

Input: the Windows reference conversions in tests/data (every byte and byte pair
to UTF-16, every UTF-16 unit to bytes). The script derives the lead bytes, the
defined codes and the reverse choice rules, checks that the emitted data
reproduces both reference files completely, and fails otherwise.

Usage: generate_cp932_table.py [repository root]  (default: two levels up)
"""

import os
import sys

# Lead bytes whose codes only duplicate characters that also have another code
# (the NEC-selected IBM extensions); Windows encodes those characters with the
# other code, so these never take part in the reverse mapping.
NO_REVERSE_LEADS = (0xED, 0xEE)

# What a unit without any code becomes ('?').
UNMAPPED_CODE = 0x3F

# Runs of consecutive characters shorter than this are stored unit by unit;
# chosen by trying every value and keeping the smallest output.
RUN_LENGTHS_TRIED = range(2, 16)


def fail(message):
    sys.exit("generate_cp932_table: " + message)


def read_lines(path):
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            left, arrow, right = line.partition("->")
            if not arrow:
                fail(f"{path}:{number}: no '->'")
            yield number, left.strip(), right.split()


def read_forward(path):
    """{bytes: [units]} from 'HEXBYTES -> UNIT UNIT ...' lines."""
    table = {}
    for number, left, right in read_lines(path):
        try:
            table[bytes.fromhex(left)] = [int(u, 16) for u in right]
        except ValueError:
            fail(f"{path}:{number}: bad line")
    return table


def read_reverse(path):
    """{unit: bytes} from 'UNIT -> HEXBYTES' lines."""
    table = {}
    for number, left, right in read_lines(path):
        if len(right) != 1:
            fail(f"{path}:{number}: bad line")
        try:
            table[int(left, 16)] = bytes.fromhex(right[0])
        except ValueError:
            fail(f"{path}:{number}: bad line")
    return table


def derive_forward(reference):
    """Lead bytes, default unit and {code: unit} for every defined code."""
    singles = {}
    for b in range(1, 256):
        units = reference.get(bytes([b]))
        if units is None or len(units) != 1:
            fail(f"byte {b:02x}: expected one unit")
        singles[b] = units[0]

    # A lead byte swallows every following non-NUL byte, so each of its pairs
    # gives exactly one unit; any other byte stands alone.
    leads = []
    for b in range(0x80, 0x100):
        pairs = [reference.get(bytes([b, t])) for t in range(1, 256)]
        if any(p is None for p in pairs):
            fail(f"lead {b:02x}: pairs missing")
        if all(len(p) == 1 for p in pairs):
            leads.append(b)
        elif any(p != [singles[b], singles[t]] for t, p in zip(range(1, 256), pairs)):
            fail(f"byte {b:02x}: pairs neither one unit nor two single bytes")

    defaults = {singles[b] for b in leads}
    if len(defaults) != 1:
        fail("lone lead bytes do not share one unit")
    default = defaults.pop()

    codes = {0: 0}  # NUL is not in the reference; it maps to itself
    for b in range(1, 256):
        if b not in leads:
            codes[b] = singles[b]
    # A pair giving the default unit is undefined unless the default unit's own
    # code is that pair: the reverse data names it.
    for lead in leads:
        for trail in range(1, 256):
            unit = reference[bytes([lead, trail])][0]
            if unit != default:
                codes[lead << 8 | trail] = unit
    return leads, default, codes


def add_default_code(codes, reverse, default):
    code = reverse.get(default, b"")
    if len(code) != 2:
        fail("the default unit has no two-byte code")
    codes[int.from_bytes(code, "big")] = default


def ranges_of(values):
    result = []
    for v in sorted(values):
        if result and result[-1][1] + 1 == v:
            result[-1][1] = v
        else:
            result.append([v, v])
    return result


def segment(codes, min_run):
    """Segments (code, count, is_run, unit-or-offset) and the literal units."""
    ordered = sorted(codes)
    # Maximal runs of consecutive codes mapping to consecutive units.
    runs = []
    for c in ordered:
        last = runs[-1] if runs else None
        if last and last[0] + last[1] == c and codes[last[0]] + last[1] == codes[c]:
            last[1] += 1
        else:
            runs.append([c, 1])
    segments = []
    literals = []
    for start, count in runs:
        if count >= min_run:
            segments.append([start, count, True, codes[start]])
            continue
        last = segments[-1] if segments else None
        if last and not last[2] and last[0] + last[1] == start:
            last[1] += count
        else:
            segments.append([start, count, False, len(literals)])
        literals.extend(codes[start + i] for i in range(count))
    return segments, literals


def table_bytes(segments, literals):
    return 6 * len(segments) + 2 * len(literals)


def lookup(segments, literals, code):
    lo, hi = 0, len(segments)
    while lo < hi:
        mid = (lo + hi) // 2
        if segments[mid][0] <= code:
            lo = mid + 1
        else:
            hi = mid
    if lo == 0:
        return None
    start, count, is_run, value = segments[lo - 1]
    if code >= start + count:
        return None
    return value + (code - start) if is_run else literals[value + (code - start)]


def decode_pair_or_byte(segments, literals, leads, default, data):
    """Units for one reference entry, the way codepage_posix.cpp converts."""
    units = []
    i = 0
    while i < len(data):
        b = data[i]
        if b in leads:
            if i + 1 < len(data) and data[i + 1] != 0:
                unit = lookup(segments, literals, b << 8 | data[i + 1])
                i += 2
            else:
                unit = None
                i += 1
        else:
            unit = lookup(segments, literals, b)
            i += 1
        units.append(default if unit is None else unit)
    return units


def derive_reverse(segments, literals):
    """{unit: code} as codepage_posix.cpp builds it: lowest code first."""
    reverse = {}
    for start, count, _, _ in segments:
        for code in range(start, start + count):
            if code >> 8 in NO_REVERSE_LEADS:
                continue
            unit = lookup(segments, literals, code)
            reverse.setdefault(unit, code)
    return reverse


def code_bytes(code):
    return bytes([code]) if code < 0x100 else code.to_bytes(2, "big")


def write_table(path, leads, default, segments, literals, exceptions):
    out = []
    out.append("// Generated by generate_cp932_table.py from tests/data/cp932-to-utf16.txt and")
    out.append("// tests/data/utf16-to-cp932.txt. Do not edit; run the script again.")
    out.append("")
    out.append(f"constexpr char16_t Cp932DefaultUnit = 0x{default:04x};")
    out.append("")
    out.append("constexpr Cp932ByteRange Cp932LeadRanges[] = {")
    for first, last in ranges_of(leads):
        out.append(f"    {{0x{first:02x}, 0x{last:02x}}},")
    out.append("};")
    out.append("")
    out.append("constexpr Cp932ByteRange Cp932NoReverseLeads[] = {")
    for first, last in ranges_of(NO_REVERSE_LEADS):
        out.append(f"    {{0x{first:02x}, 0x{last:02x}}},")
    out.append("};")
    out.append("")
    out.append("// {first code, count (| Cp932Run), first unit or offset in Cp932Units}")
    out.append("constexpr Cp932Segment Cp932Segments[] = {")
    for start, count, is_run, value in segments:
        flag = " | Cp932Run" if is_run else ""
        out.append(f"    {{0x{start:04x}, {count}{flag}, 0x{value:04x}}},")
    out.append("};")
    out.append("")
    out.append("constexpr char16_t Cp932Units[] = {")
    for i in range(0, len(literals), 12):
        row = ", ".join(f"0x{u:04x}" for u in literals[i:i + 12])
        out.append(f"    {row},")
    out.append("};")
    out.append("")
    out.append("// Units whose code is not the first one mapping to them (best fit, or '?').")
    out.append("constexpr Cp932Exception Cp932Exceptions[] = {")
    for unit, code in sorted(exceptions.items()):
        out.append(f"    {{0x{unit:04x}, 0x{code:04x}}},")
    out.append("};")
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..")
    data = os.path.join(root, "tests", "data")
    forward_ref = read_forward(os.path.join(data, "cp932-to-utf16.txt"))
    reverse_ref = read_reverse(os.path.join(data, "utf16-to-cp932.txt"))

    leads, default, codes = derive_forward(forward_ref)
    add_default_code(codes, reverse_ref, default)

    segments, literals = min(
        (segment(codes, n) for n in RUN_LENGTHS_TRIED), key=lambda s: table_bytes(*s))
    if any(count >= 0x8000 or value > 0xFFFF for _, count, _, value in segments):
        fail("segment does not fit the 16-bit fields")

    for data_bytes, units in forward_ref.items():
        got = decode_pair_or_byte(segments, literals, leads, default, data_bytes)
        if got != units:
            fail(f"{data_bytes.hex()}: table gives {got}, reference {units}")

    derived = derive_reverse(segments, literals)
    exceptions = {}
    for unit in range(1, 0x10000):
        want = reverse_ref.get(unit)
        if want is None:
            fail(f"unit {unit:04x} missing from the reverse reference")
        got = derived.get(unit, UNMAPPED_CODE)
        if code_bytes(got) != want:
            exceptions[unit] = int.from_bytes(want, "big")

    write_table(os.path.join(here, "cp932_table_posix.inc"), leads, default,
                segments, literals, exceptions)
    print(f"{len(codes)} codes, {len(segments)} segments, {len(literals)} literal units, "
          f"{len(exceptions)} exceptions, {table_bytes(segments, literals) + 4 * len(exceptions)} bytes")


if __name__ == "__main__":
    main()
