#!/usr/bin/env python3
"""Generates collation_data.cpp: per ANSI code page the upper/lower case maps and, per collation
table, the collation elements of every byte.

Run from this folder:  python3 collation_tables.py > collation_data.cpp

A byte becomes one or two elements (primary, secondary, tertiary):
  primary   - group and rank: controls < symbols < digits < letters (string-sort order);
  secondary - the diacritic (0 none), skipped when non-spacing marks are ignored;
  tertiary  - case: 0 lower or uncased, 1 upper.
Letters get their primary from their base letter, so foreign diacritics differ only at the second
level. The Polish table makes a ą b c ć d e ę ... ł ... ń ... ó ... ś ... z ź ż separate letters.
The German phone-book table expands ä ö ü to ae oe ue (ß is ss in every table).
"""
import unicodedata

CODE_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]

POLISH = "aąbcćdeęfghijklłmnńoópqrsśtuvwxyzźż"
CYRILLIC = "абвгґдђеєжзѕиіїйјклљмнњопрстћуўфхцчџшщъыьэюя"
# Cyrillic letters that are letters of their own although they decompose.
CYRILLIC_OWN = "йїў"
LATIN = "abcdefghijklmnopqrstuvwxyz"
# Letters without a canonical decomposition that still belong to a base letter.
STROKES = {"ł": ("l", "\u0337"), "đ": ("d", "\u0335"), "ø": ("o", "\u0338"), "ð": ("d", "\u0309"),
           "ƒ": ("f", "\u0335"), "ħ": ("h", "\u0335")}
EXPANSIONS = {"ß": "ss", "æ": "ae", "œ": "oe"}
PHONEBOOK = {"ä": "ae", "ö": "oe", "ü": "ue"}

G_CONTROL, G_SYMBOL, G_DIGIT, G_LETTER = 0x0001, 0x0100, 0x0400, 0x0500


def decode(cp, b):
    try:
        return bytes([b]).decode("cp%d" % cp)
    except UnicodeDecodeError:
        return None


def single_byte(cp, ch):
    if ch is None or len(ch) != 1:
        return None
    try:
        e = ch.encode("cp%d" % cp)
    except UnicodeEncodeError:
        return None
    return e[0] if len(e) == 1 else None


def case_maps(cp):
    up, lo = [], []
    for b in range(256):
        ch = decode(cp, b)
        u = single_byte(cp, ch.upper()) if ch else None
        l = single_byte(cp, ch.lower()) if ch else None
        up.append(u if u is not None else b)
        lo.append(l if l is not None else b)
    return up, lo


def base_and_marks(ch, own_letters):
    """Lower-case base letter and the marks on it."""
    low = ch.lower() if len(ch.lower()) == 1 else ch
    if low in own_letters:
        return low, ""
    if low in STROKES:
        return STROKES[low]
    d = unicodedata.normalize("NFD", low)
    return d[0], d[1:]


def build_table(cp, kind):
    chars = [decode(cp, b) for b in range(256)]
    own = POLISH if kind == "polish" else (CYRILLIC_OWN if cp == 1251 else "")
    expansions = dict(EXPANSIONS)
    if kind == "phonebook":
        expansions.update(PHONEBOOK)
    # Collect the code page's symbols, digits, base letters and mark combinations.
    symbols, bases, marks = set(), set(), set()
    info = []
    for b, ch in enumerate(chars):
        if ch is None or unicodedata.category(ch) in ("Cc", "Cf", "Cn", "Co"):
            info.append(("control", b))
            continue
        cat = unicodedata.category(ch)
        if cat == "Nd" or (unicodedata.digit(ch, None) is not None and cat.startswith("N")):
            info.append(("digit", unicodedata.digit(ch), 0 if cat == "Nd" else 1))
            continue
        if cat.startswith("L") and cat != "Lm":  # modifier letters (ˇ, ˆ) are symbols
            low = ch.lower() if len(ch.lower()) == 1 else ch
            upper = 1 if (cat == "Lu" or cat == "Lt") else 0
            if low in expansions:
                parts = []
                for i, c in enumerate(expansions[low]):
                    bse, mk = base_and_marks(c, own)
                    bases.add(bse)
                    # The first element carries the mark that sets the expansion apart.
                    mk = ("\u0308" if low in PHONEBOOK else "\u0000") if i == 0 else ""
                    marks.add(mk)
                    parts.append((bse, mk))
                info.append(("letter", parts, upper))
                continue
            bse, mk = base_and_marks(ch, own)
            bases.add(bse)
            marks.add(mk)
            info.append(("letter", [(bse, mk)], upper))
            continue
        symbols.add(ch)
        info.append(("symbol", ch))

    def letter_key(c):
        if kind == "polish" and c in own:
            return (0, own.index(c))
        if c in LATIN:
            return (0, POLISH.index(c) if own else LATIN.index(c))
        if c in CYRILLIC:
            return (1, CYRILLIC.index(c))
        return (2, ord(c))

    base_rank = {c: i for i, c in enumerate(sorted(bases, key=letter_key))}
    mark_rank = {m: i for i, m in enumerate(sorted(marks))}
    symbol_rank = {c: i for i, c in enumerate(sorted(symbols))}
    if "" in mark_rank:
        # No mark ranks first.
        order = [""] + sorted(m for m in marks if m != "")
        mark_rank = {m: i for i, m in enumerate(order)}

    elems = []
    for b, it in enumerate(info):
        kind_ = it[0]
        if kind_ == "control":
            elems.append([(G_CONTROL + b, 0, 0)])
        elif kind_ == "symbol":
            elems.append([(G_SYMBOL + symbol_rank[it[1]], 0, 0)])
        elif kind_ == "digit":
            elems.append([(G_DIGIT + it[1], it[2], 0)])
        else:
            elems.append([(G_LETTER + base_rank[bse], mark_rank[mk], it[2]) for bse, mk in it[1]])
    return elems


def emit_bytes(name, values):
    print("const uint8_t %s[256] = {" % name)
    for i in range(0, 256, 16):
        print("    " + ", ".join("0x%02X" % v for v in values[i:i + 16]) + ",")
    print("};")


def emit_table(name, elems):
    print("const uint32_t %s[256][2] = {" % name)
    for b in range(256):
        e = elems[b]
        packed = ["0x%04X%02X%02X" % x for x in e] + ["0"] * (2 - len(e))
        print("    {%s}," % ", ".join(packed))
    print("};")


def main():
    print("// Generated by collation_tables.py; do not edit by hand.")
    print("// Element: primary << 16 | secondary << 8 | tertiary; 0 = no second element.")
    print('#include "dbengine/storage/collation_data.h"')
    print()
    print("namespace {")
    for cp in CODE_PAGES:
        up, lo = case_maps(cp)
        emit_bytes("kUpper%d" % cp, up)
        emit_bytes("kLower%d" % cp, lo)
        emit_table("kGeneric%d" % cp, build_table(cp, "generic"))
    emit_table("kPolish1250", build_table(1250, "polish"))
    emit_table("kPhoneBook1252", build_table(1252, "phonebook"))
    print("}  // namespace")
    print()
    print("const TCodePageData kCodePageData[] = {")
    for cp in CODE_PAGES:
        print("    {%d, kUpper%d, kLower%d, kGeneric%d}," % (cp, cp, cp, cp))
    print("};")
    print("const int kCodePageDataCount = %d;" % len(CODE_PAGES))
    print("const uint32_t (*const kPolishCollation)[2] = kPolish1250;")
    print("const uint32_t (*const kPhoneBookCollation)[2] = kPhoneBook1252;")


if __name__ == "__main__":
    main()
