#!/usr/bin/env python3
"""regf_check.py - a strict checker of Windows registry hive files (REGF),
written from the file format alone, to judge the hives the tests write.

  regf_check.py [--stats | --facts] HIVE...

Prints one line per problem ("<file>: <problem>") and exits 1 if there is
any, else nothing. --stats adds a line per file with its size and the bytes
in used and in free cells; --facts one with the number of value names stored
as UTF-16 and the size of the largest value (which some readers cannot take).

It checks the base block, bins tiled exactly by cells, and every cell
reachable from the root key, walked with an explicit stack (no depth is too
deep): each reference names the start of a used cell of the right kind and
size, only security cells are referenced twice, and no used cell is left
unreached. Sub-key lists count, hash and order their entries as Windows
does; big data is split as version 1.4 splits it; the security cells form
one ring and count their keys exactly.

Windows orders names upper-cased, unit by unit as UTF-16. The upper-casing
here covers the names the tests use and the system's own folding, no more:
ASCII; Latin-1 (U+00E0..U+00FE but U+00F7 minus 0x20, U+00FF to U+0178);
Latin Extended-A (small letters at the odd unit of each pair, at the even
one in U+0139..U+0148 and U+0179..U+017E; not U+0131, U+0138, U+0149,
U+017F); Greek U+03B1..U+03C9 but final sigma (minus 0x20); Cyrillic
U+0430..U+044F (minus 0x20) and U+0450..U+045F (minus 0x50).
"""
import struct
import sys

BASE = 4096  # the base block; cell offsets count from its end
SEGMENT = 16344  # the most data one segment of a big data record holds
MAX_PROBLEMS = 100  # a badly broken file would otherwise print thousands

NK = struct.Struct("<2sHQ15IHH")  # key node: 76 bytes before the name
VK = struct.Struct("<2sHIIIHH")  # value: 20 bytes before the name
SK = struct.Struct("<2sHIIII")  # security cell: 20 bytes before the descriptor
LIST = struct.Struct("<2sH")  # sub-key list: signature and entry count
SIZE = struct.Struct("<i")  # a cell's size: negative while it is used
LEAVES = (b"lh", b"lf", b"li")


def _upper_table():
    table = {c: c - 0x20 for c in range(ord("a"), ord("z") + 1)}
    table.update({c: c - 0x20 for c in range(0xE0, 0xFF) if c != 0xF7})
    table[0xFF] = 0x178
    for c in range(0x100, 0x180):
        small_is_even = 0x139 <= c <= 0x148 or 0x179 <= c <= 0x17E
        if c not in (0x131, 0x138, 0x149, 0x17F) and (c % 2 == 0) == small_is_even:
            table[c] = c - 1
    table.update({c: c - 0x20 for c in range(0x3B1, 0x3CA) if c != 0x3C2})
    table.update({c: c - 0x20 for c in range(0x430, 0x450)})
    table.update({c: c - 0x50 for c in range(0x450, 0x460)})
    return table


UPPER = _upper_table()


def lh_hash(upper_name):
    value = 0
    for unit in upper_name:
        value = (value * 37 + ord(unit)) & 0xFFFFFFFF
    return value


def lf_hint_ok(name, hint):
    """An lf entry's hint holds the name's first four units as bytes, zero
    padded; a unit past Latin-1 among them leaves only a zero first byte."""
    head = name[:4]
    if any(ord(unit) > 0xFF for unit in head):
        return hint[0] == 0
    return hint == head.encode("latin-1").ljust(4, b"\0")


class Hive:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        self.problems = []
        self.cells = {}  # cell offset -> its signed size (negative: used)
        self.referenced = set()
        self.sk_users = {}  # security cell offset -> number of keys naming it
        self.ring = set()  # the security cells found linked to the first one
        self.space = [0, 0]  # bytes in used cells, in free cells
        self.wide_value_names = self.largest_value = 0

    def problem(self, text):
        self.problems.append(text)

    def check(self):
        if self.base_block():
            self.bins()
            self.keys()
            self.security()
            reached = self.referenced | self.ring
            lost = [o for o, s in self.cells.items() if s < 0 and o not in reached]
            if lost:  # a writer that loses cells loses their space for good
                self.problem(f"{len(lost)} used cells from {min(lost):#x} on are unreached")

    def base_block(self):
        d = self.data
        if len(d) < BASE or d[:4] != b"regf":
            self.problem('no base block with the signature "regf"')
            return False
        first, second = struct.unpack_from("<II", d, 4)
        if first != second:
            self.problem(f"sequence numbers {first} and {second} differ (an unfinished write)")
        major, minor, ftype, fmt, self.root, length, cluster = struct.unpack_from("<7I", d, 20)
        checksum = 0
        for word in struct.unpack_from("<127I", d):
            checksum ^= word
        checksum = {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(checksum, checksum)
        if (stored := struct.unpack_from("<I", d, 508)[0]) != checksum:
            self.problem(f"base block checksum {stored:#010x}, {checksum:#010x} expected")
        if major != 1 or not 3 <= minor <= 6:
            self.problem(f"version {major}.{minor}, 1.3 to 1.6 expected")
        if ftype != 0 or fmt != 1 or cluster != 1:
            self.problem(f"file type {ftype}, format {fmt}, clustering {cluster}; 0, 1, 1 expected")
        if length == 0 or length % 4096:
            self.problem(f"hive bins data size {length:#x} is not a positive multiple of 4096")
        if len(d) < BASE + length:
            self.problem(f"file of {len(d)} bytes is shorter than its bins ({length:#x} bytes)")
        self.minor = minor
        self.end = BASE + min(length, len(d) - BASE)
        return True

    def bins(self):
        d, pos = self.data, BASE
        while pos < self.end:
            if self.end - pos < 32 or d[pos : pos + 4] != b"hbin":
                return self.problem(f'no "hbin" header at bin offset {pos - BASE:#x}')
            offset, size = struct.unpack_from("<II", d, pos + 4)
            if offset != pos - BASE:
                self.problem(f"bin at {pos - BASE:#x} says it lies at {offset:#x}")
            if size == 0 or size % 4096 or pos + size > self.end:
                return self.problem(f"bin at {pos - BASE:#x} has size {size:#x}")
            cell, end, cells, space = pos + 32, pos + size, self.cells, self.space
            while cell < end:
                (signed,) = SIZE.unpack_from(d, cell)
                length = abs(signed)
                if length < 8 or length % 8 or cell + length > end:
                    self.problem(f"cell at {cell - BASE:#x} of size {signed} does not tile its bin")
                    break
                cells[cell - BASE] = signed
                space[signed > 0] += length
                cell += length
            pos = end

    def cell(self, off, sigs, what, need=0, shared=False):
        """The data position and size of the used cell at offset off, marked
        as referenced unless shared; None, after saying why, if it is not
        one of the kinds sigs names (any kind if None) or is too small."""
        signed = self.cells.get(off)
        if signed is None:
            return self.problem(f"{what}: {off:#x} is not the start of a cell")
        if signed > 0:
            return self.problem(f"{what}: cell {off:#x} is free")
        pos, size = BASE + off + 4, -signed - 4
        if sigs and self.data[pos : pos + 2] not in sigs:
            kinds = " or ".join(s.decode() for s in sigs)
            return self.problem(f"{what}: cell {off:#x} is not {kinds}")
        if size < need:
            return self.problem(f"{what}: cell {off:#x} holds {size} bytes, {need} needed")
        if not shared:
            if off in self.referenced:
                return self.problem(f"{what}: cell {off:#x} is referenced more than once")
            self.referenced.add(off)
        return pos, size

    def text(self, pos, length, compressed):
        """A name as a string of UTF-16 units, one character a unit."""
        raw = self.data[pos : pos + length]
        if compressed:
            return raw.decode("latin-1")
        if length % 2:
            return None
        return "".join(map(chr, struct.unpack(f"<{length // 2}H", raw)))

    def key_name(self, pos, size, what, root):
        _, flags, *_, length, _ = NK.unpack_from(self.data, pos)
        if 76 + length > size:
            return self.problem(f"{what}: a name of {length} bytes overflows its cell")
        name = self.text(pos + 76, length, flags & 0x20)
        if name is None:
            return self.problem(f"{what}: a UTF-16 name of an odd {length} bytes")
        if not root and (not 0 < len(name) <= 255 or "\\" in name):
            return self.problem(f'{what}: "{name}" is empty, past 255 units or holds a backslash')
        return name

    def keys(self):
        root = self.cell(self.root, (b"nk",), "root key", 76)
        name = root and self.key_name(*root, "root key", True)
        if name is not None:
            stack = [(self.root, *root, None, "\\" + name)]
            while stack:
                stack += self.key(*stack.pop())

    def key(self, off, pos, size, parent, path):
        """Checks the key at offset off and returns its sub-keys to walk."""
        where = f'key "{path if len(path) < 120 else "..." + path[-100:]}"'
        (_, flags, _, _, parent_field, subkeys, _, subkey_list, _, values, value_list, security,
         class_off, max_name, max_class, max_value_name, max_data, _, _,
         class_length) = NK.unpack_from(self.data, pos)  # fmt: skip
        if (parent is None) != bool(flags & 0x4):
            self.problem(f"{where}: the root key, and it alone, carries the hive-entry flag 0x4")
        if parent is not None and parent_field != parent:
            self.problem(f"{where}: names parent {parent_field:#x}, lies under {parent:#x}")
        if class_length:
            self.cell(class_off, None, f"{where}: class", class_length)
        if self.cell(security, (b"sk",), f"{where}: security", 20, shared=True):
            self.sk_users[security] = self.sk_users.get(security, 0) + 1
        children, longest, longest_class = self.subkeys(off, subkeys, subkey_list, where, path)
        longest_value, largest = self.values(values, value_list, where)
        # Windows answers RegQueryInfoKey from these: above the truth is harmless, below is not.
        for field, truth, what in ((max_name & 0xFFFF, longest, "sub-key name"),
                                   (max_class, longest_class, "sub-key class"),
                                   (max_value_name, longest_value, "value name"),
                                   (max_data, largest, "value data")):  # fmt: skip
            if field < truth:
                self.problem(f"{where}: records a largest {what} of {field} bytes, has {truth}")
        return children

    def subkeys(self, off, count, list_off, where, path):
        """The sub-keys to walk, their longest name and longest class in bytes."""
        entries = self.subkey_entries(list_off, where) if count else []
        if len(entries) != count:
            self.problem(f"{where}: counts {count} sub-keys, lists {len(entries)}")
        children, previous, longest, longest_class = [], None, 0, 0
        for child, kind, field in entries:
            found = self.cell(child, (b"nk",), f"{where}: sub-key", 76)
            name = found and self.key_name(*found, f"{where}: sub-key {child:#x}", False)
            if name is None:
                continue
            upper = name.translate(UPPER)
            if kind == b"lh" and field != (expected := lh_hash(upper)):
                self.problem(f'{where}: sub-key "{name}" hashed {field:#x}, not {expected:#x}')
            if kind == b"lf" and not lf_hint_ok(name, field):
                self.problem(f'{where}: sub-key "{name}" has the hint {field!r}')
            if previous is not None and upper <= previous:
                self.problem(f'{where}: sub-key "{name}" is out of order or not unique')
            previous = upper
            longest = max(longest, 2 * len(name))
            longest_class = max(longest_class, NK.unpack_from(self.data, found[0])[-1])
            children.append((child, *found, off, path.rstrip("\\") + "\\" + name))
        return children, longest, longest_class

    def subkey_entries(self, off, where, kinds=LEAVES + (b"ri",)):
        """(offset, list kind, hash or hint) of each entry of a sub-key list;
        an index root's entries are leaves, whose entries are keys."""
        found = self.cell(off, kinds, f"{where}: sub-key list", 4)
        if not found:
            return []
        pos, size = found
        sig, count = LIST.unpack_from(self.data, pos)
        width, layout = {b"lh": (8, "<II"), b"lf": (8, "<I4s")}.get(sig, (4, "<I"))
        if size < 4 + width * count:
            self.problem(f"{where}: {sig.decode()} list of {count} overflows its cell")
            return []
        if count == 0:
            self.problem(f"{where}: an empty {sig.decode()} list")
        raw = self.data[pos + 4 : pos + 4 + width * count]
        entries = [(entry[0], sig, entry[-1]) for entry in struct.iter_unpack(layout, raw)]
        if sig != b"ri":
            return entries
        return [e for leaf, _, _ in entries for e in self.subkey_entries(leaf, where, LEAVES)]

    def values(self, count, list_off, where):
        """Checks a key's values; returns their longest name and largest data in bytes."""
        found = count and self.cell(list_off, None, f"{where}: value list", 4 * count)
        if not found:
            return 0, 0
        names, longest, largest = set(), 0, 0
        for (off,) in struct.iter_unpack("<I", self.data[found[0] : found[0] + 4 * count]):
            value = self.cell(off, (b"vk",), f"{where}: value", 20)
            sizes = value and self.value(*value, where, names)
            if sizes:
                longest, largest = max(longest, sizes[0]), max(largest, sizes[1])
        return longest, largest

    def value(self, pos, size, where, names):
        _, length, raw_size, data_off, _, flags, _ = VK.unpack_from(self.data, pos)
        name = self.text(pos + 20, length, flags & 0x1) if 20 + length <= size else None
        if name is None:
            return self.problem(f"{where}: value name of {length} bytes does not fit its cell")
        if name and not flags & 0x1:
            self.wide_value_names += 1
        label = f'{where}: value "{name}"'
        upper = name.translate(UPPER)
        if upper in names or len(name) > 16383:
            self.problem(f"{label} repeats a sibling's name or is too long")
        names.add(upper)
        data_size = raw_size & 0x7FFFFFFF
        self.largest_value = max(self.largest_value, data_size)
        if raw_size & 0x80000000:
            if data_size > 4:
                self.problem(f"{label}: {data_size} bytes cannot lie inline")
        elif data_size and self.minor >= 4 and data_size > SEGMENT:
            self.big_data(data_off, data_size, label)
        elif data_size:
            self.cell(data_off, None, f"{label}: data", data_size)
        return 2 * len(name), data_size

    def big_data(self, off, size, label):
        found = self.cell(off, (b"db",), f"{label}: big data", 8)
        if not found:
            return
        _, count, list_off = struct.unpack_from("<2sHI", self.data, found[0])
        expected = -(-size // SEGMENT)
        if count != expected:
            self.problem(f"{label}: {count} segments for {size} bytes, {expected} expected")
        found = self.cell(list_off, None, f"{label}: segment list", 4 * count)
        if found:
            raw = self.data[found[0] : found[0] + 4 * count]
            for i, (segment,) in enumerate(struct.iter_unpack("<I", raw)):
                share = max(0, min(SEGMENT, size - i * SEGMENT))
                self.cell(segment, None, f"{label}: segment {i}", share)

    def security(self):
        """Walks the ring of security cells from the first one a key names."""
        start = off = min(self.sk_users, default=None)
        while off is not None:
            pos, size = BASE + off + 4, -self.cells[off] - 4
            _, _, flink, _, count, length = SK.unpack_from(self.data, pos)
            self.ring.add(off)
            what, users = f"security cell {off:#x}", self.sk_users.get(off, 0)
            if count != users:
                self.problem(f"{what}: reference count {count}, used by {users} keys")
            if 20 + length > size or not self.descriptor_ok(pos + 20, length):
                self.problem(f"{what}: holds no valid descriptor of {length} bytes")
            if off in self.referenced:
                self.problem(f"{what}: is also referenced as another kind of cell")
            if not self.cell(flink, (b"sk",), f"{what}: forward link", 20, shared=True):
                break
            if SK.unpack_from(self.data, BASE + flink + 4)[3] != off:
                self.problem(f"{what}: its successor {flink:#x} does not link back")
            if flink in self.ring and flink != start:
                self.problem(f"{what}: the ring of security cells loops short of its start")
            off = None if flink in self.ring else flink
        for off in sorted(set(self.sk_users) - self.ring):
            self.problem(f"security cell {off:#x}: not in the ring of security cells")

    def descriptor_ok(self, pos, length):
        """A self-relative descriptor of revision 1 whose parts lie inside it."""
        fields = struct.unpack_from("<BBHIIII", self.data, pos) if length >= 20 else (0, 0, 0)
        return fields[0] == 1 and fields[2] & 0x8000 and all(p < length for p in fields[3:])


def main(argv):
    stats, facts = "--stats" in argv, "--facts" in argv
    files = [a for a in argv if a not in ("--stats", "--facts")]
    if not files:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    sys.stdout.reconfigure(errors="backslashreplace")
    bad = False
    for path in files:
        try:
            hive = Hive(path)
        except OSError as e:
            print(f"{path}: {e.strerror}")
            bad = True
            continue
        hive.check()
        for text in hive.problems[:MAX_PROBLEMS]:
            print(f"{path}: {text}")
        if len(hive.problems) > MAX_PROBLEMS:
            print(f"{path}: and {len(hive.problems) - MAX_PROBLEMS} more problems")
        bad = bad or bool(hive.problems)
        if stats:
            used, free = hive.space
            print(f"{path}: size {len(hive.data)} bytes, ", end="")
            print(f"used cells {used} bytes, free cells {free} bytes")
        if facts:
            print(f"{path}: {hive.wide_value_names} value names stored as UTF-16, ", end="")
            print(f"largest value {hive.largest_value} bytes")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
