"""The neutral form of a run's outcome, and the readers that build it from either build.

An outcome is a list of text lines, one fact a line, in a fixed order of sections:

    exit <code>
    log <LEVEL> <file>:<line> (<function>) <message as a JSON string>
    reg + <key>            a key added
    reg - <key>            a key removed
    reg <key> + <name> = <type> <data>     a value added (and - removed, ~ changed)
    file + <path> <sha1>   a file added (- removed, ~ changed; dir + / dir - for folders)
    event <kind> <field>=<value> ...
    process <exe> still running

Paths and key names are lower-cased, since both systems compare them without case;
texts and data keep their case.
"""

import hashlib
import json
import os
import re

HEADER = re.compile(
    r"\[(?P<time>\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}), (?P<process>.*?) \(PID: (?P<pid>\d+), TID: (?P<tid>\d+)\), "
    r"(?P<file>[^:\]]*):(?P<line>\d+) \((?P<function>[^)]*)\)\]\r\n\t(?P<level>[A-Z]+): ")


def log_lines(data):
    """The log's records without their time stamps and process and thread ids, which
    differ between any two runs. A stray text before the first record is kept too."""
    # The log is ANSI code-page text, 1252 on every scenario's machine.
    text = data.decode("cp1252", "replace")
    out = []
    matches = list(HEADER.finditer(text))
    if not matches and text:
        return ["log <no records> " + json.dumps(text)]
    if matches and matches[0].start() > 0:
        out.append("log <before the first record> " + json.dumps(text[:matches[0].start()]))
    for i, m in enumerate(matches):
        end = matches[i + 1].start() if i + 1 < len(matches) else len(text)
        message = text[m.end():end]
        out.append("log %s %s %s:%s (%s) %s" % (m["level"], m["process"], m["file"], m["line"], m["function"],
                                              json.dumps(message)))
    return out


# ---- registry ---------------------------------------------------------------------------

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
TYPE_NAMES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ",
              11: "REG_QWORD"}


def canonical_value(kind, data):
    """A value as "<type> <data>": strings as JSON text (a multi-string as a list),
    double words as numbers, anything else as hexadecimal bytes."""
    name = TYPE_NAMES.get(kind, "hex(%x)" % kind)
    if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and isinstance(data, (bytes, bytearray)):
        if len(data) % 2:
            data = bytes(data) + b"\0"
        data = bytes(data).decode("utf-16-le", "surrogatepass")
    if kind == REG_MULTI_SZ:
        parts = data.split("\0")
        while parts and parts[-1] == "":
            parts.pop()
        return "%s %s" % (name, json.dumps(parts))
    if kind in (REG_SZ, REG_EXPAND_SZ):
        return "%s %s" % (name, json.dumps(data.split("\0")[0] if "\0" in data else data))
    if kind == REG_DWORD and isinstance(data, int):
        return "%s %d" % (name, data)
    if kind == REG_DWORD and len(data) == 4:
        return "%s %d" % (name, int.from_bytes(data, "little"))
    return "%s %s" % (name, bytes(data).hex())


def _unescape_reg(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(text[i + 1])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def _split_assignment(line):
    """'"name"=data' or '@=data' as (name, data); None if the line is no value."""
    if line.startswith("@="):
        return "", line[2:]
    if not line.startswith('"'):
        return None
    i = 1
    while i < len(line):
        if line[i] == "\\":
            i += 2
            continue
        if line[i] == '"':
            break
        i += 1
    if i >= len(line) or line[i + 1:i + 2] != "=":
        return None
    return _unescape_reg(line[1:i]), line[i + 2:]


def _hex_bytes(text):
    text = text.replace("\\", "").replace(" ", "").replace("\t", "").strip(",")
    return bytes(int(b, 16) for b in text.split(",") if b) if text else b""


def _logical_lines(text):
    """Lines with the hexadecimal continuations ("\\" at the end) joined."""
    pending = ""
    for raw in text.splitlines():
        if pending:
            raw = pending + raw.strip()
            pending = ""
        if raw.endswith("\\") and ("=hex" in raw or raw.startswith("  ") or "hex(" in raw or ":" in raw):
            pending = raw[:-1]
            continue
        yield raw
    if pending:
        yield pending


def read_reg_file(data):
    """A registry editor (.reg) file: {key: (shown key, {value: (shown name, canonical)})},
    keys and value names lower-cased."""
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le", "surrogatepass")
    else:
        text = data.decode("utf-8-sig", "surrogateescape")
    keys = {}
    current = None
    for line in _logical_lines(text):
        if line.startswith("[") and line.rstrip().endswith("]"):
            name = line.strip()[1:-1]
            if name.startswith("-"):
                current = None
                continue
            current = keys.setdefault(name.lower(), (name, {}))[1]
            continue
        if current is None:
            continue
        split = _split_assignment(line)
        if not split:
            continue
        name, data_text = split
        if data_text == "-":
            continue
        if data_text.startswith('"'):
            value = canonical_value(REG_SZ, _unescape_reg(data_text[1:-1]))
        elif data_text.startswith("dword:"):
            value = canonical_value(REG_DWORD, int(data_text[6:], 16))
        elif data_text.startswith("hex:"):
            value = canonical_value(REG_BINARY, _hex_bytes(data_text[4:]))
        elif data_text.startswith("hex("):
            close = data_text.index(")")
            value = canonical_value(int(data_text[4:close], 16), _hex_bytes(data_text[close + 2:]))
        else:
            value = "unparsed " + json.dumps(data_text)
        current[name.lower()] = (name, value)
    return with_parents(keys)


def with_parents(keys):
    """A key's parents exist with it, whether or not the file has a block for them (Wine
    writes no block for a key without values that has subkeys)."""
    for key, (shown, _) in list(keys.items()):
        parts = shown.split("\\")
        for n in range(2, len(parts)):
            keys.setdefault("\\".join(parts[:n]).lower(), ("\\".join(parts[:n]), {}))
    return keys


def _unescape_wine(text):
    """A string of Wine's own registry files: C escapes, \\xHHHH for any UTF-16 unit."""
    out = []
    i = 0
    simple = {"n": "\n", "r": "\r", "t": "\t", "0": "\0", "\\": "\\", '"': '"', "a": "\a", "b": "\b", "f": "\f",
              "v": "\v", "e": "\x1b"}
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 >= len(text):
            out.append(c)
            i += 1
            continue
        e = text[i + 1]
        if e == "x":
            j = i + 2
            while j < len(text) and j < i + 6 and text[j] in "0123456789abcdefABCDEF":
                j += 1
            out.append(chr(int(text[i + 2:j], 16)))
            i = j
        elif e in "01234567" and e != "0" or (e == "0" and i + 2 < len(text) and text[i + 2] in "01234567"):
            j = i + 1
            while j < len(text) and j < i + 4 and text[j] in "01234567":
                j += 1
            out.append(chr(int(text[i + 1:j], 8)))
            i = j
        else:
            out.append(simple.get(e, e))
            i += 2
    # A character beyond the first plane is two units: join each pair into it.
    return "".join(out).encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


def _wine_quoted(text):
    """The quoted string at the start of text, unescaped, and what follows it."""
    assert text.startswith('"')
    i = 1
    while i < len(text):
        if text[i] == "\\":
            i += 2
            continue
        if text[i] == '"':
            break
        i += 1
    return _unescape_wine(text[1:i]), text[i + 1:]


def read_wine_registry(data, root, rename=None):
    """One of Wine's registry files (system.reg, user.reg), its keys named under root.
    rename maps a lower-cased key prefix to the name to show instead (Wine keeps
    CurrentControlSet as a link to ControlSet001)."""
    text = data.decode("utf-8", "surrogateescape")
    keys = {}
    current = None
    for line in _logical_lines(text):
        if line.startswith("["):
            name, _ = _wine_quoted('"' + line[1:line.rindex("]")] + '"')
            full = root + "\\" + name
            for prefix, shown in (rename or {}).items():
                if full.lower().startswith(prefix):
                    full = shown + full[len(prefix):]
            current = keys.setdefault(full.lower(), (full, {}))[1]
            continue
        if current is None or not line or line.startswith("#"):
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        elif line.startswith('"'):
            name, rest = _wine_quoted(line)
            if not rest.startswith("="):
                continue
            rest = rest[1:]
        else:
            continue
        if rest.startswith('"'):
            value = canonical_value(REG_SZ, _wine_quoted(rest)[0])
        elif rest.startswith("str("):
            kind = int(rest[4:rest.index(")")], 16)
            value = canonical_value(kind, _wine_quoted(rest[rest.index(")") + 2:])[0])
        elif rest.startswith("dword:"):
            value = canonical_value(REG_DWORD, int(rest[6:], 16))
        elif rest.startswith("hex:"):
            value = canonical_value(REG_BINARY, _hex_bytes(rest[4:]))
        elif rest.startswith("hex("):
            close = rest.index(")")
            value = canonical_value(int(rest[4:close], 16), _hex_bytes(rest[close + 2:]))
        else:
            value = "unparsed " + json.dumps(rest)
        current[name.lower()] = (name, value)
    return with_parents(keys)


def registry_diff(before, after):
    """The changes from one registry to the other, as outcome lines."""
    out = []
    for key in sorted(set(before) | set(after)):
        old = before.get(key, (None, {}))[1]
        new = after.get(key, (None, {}))[1]
        if key not in before:
            out.append("reg + %s" % key)
        elif key not in after:
            out.append("reg - %s" % key)
        for name in sorted(set(old) | set(new)):
            shown = json.dumps(name or "@")
            if name not in old:
                out.append("reg %s + %s = %s" % (key, shown, new[name][1]))
            elif name not in new:
                if key in after:
                    out.append("reg %s - %s = %s" % (key, shown, old[name][1]))
            elif old[name][1] != new[name][1]:
                out.append("reg %s ~ %s = %s -> %s" % (key, shown, old[name][1], new[name][1]))
    return out


# ---- files ------------------------------------------------------------------------------

def sha1(path):
    h = hashlib.sha1()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            h.update(block)
    return h.hexdigest()


def file_tree(root, skip=()):
    """{windows path (lower case): (kind, digest)} for every file, folder and link under
    the host folder of drive C:. Folders named in skip (lower-case windows paths) are
    left out with everything beneath them."""
    tree = {}
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        base = "c:" if rel == "." else "c:\\" + rel.replace("/", "\\").lower()
        keep = []
        for d in dirs:
            path = base + "\\" + d.lower()
            if path in skip:
                continue
            full = os.path.join(folder, d)
            if os.path.islink(full):
                tree[path] = ("link", os.readlink(full))
            else:
                tree[path] = ("dir", "")
                keep.append(d)
        dirs[:] = keep
        for f in files:
            full = os.path.join(folder, f)
            path = base + "\\" + f.lower()
            if os.path.islink(full):
                tree[path] = ("link", os.readlink(full))
            elif path.endswith(".lnk"):
                tree[path] = ("file", shortcut(full))
            else:
                tree[path] = ("file", sha1(full))
    return tree


SHORTCUT_FIELDS = ("Local path", "Relative path", "Working directory", "Command line arguments", "Description",
                   "Icon location")


def shortcut(path):
    """A shell link by what it says rather than by its bytes: its target, arguments,
    working folder, icon, description, show command and hot key. The target's size,
    times and attributes, which Windows copies into the link and Wine leaves at zero,
    are left out; so is an empty argument string, which Wine writes and others omit.
    The strings come from Debian's lnkinfo; the show command and hot key from the header
    itself, since lnkinfo 20181227 shows the target's size in their place."""
    import subprocess
    with open(path, "rb") as f:
        header = f.read(0x4C)
    if len(header) < 0x4C or header[:4] != b"\x4c\0\0\0":
        return "not a shortcut " + sha1(path)
    fields = {"Show command": int.from_bytes(header[0x3C:0x40], "little"),
              "Hot key": int.from_bytes(header[0x40:0x42], "little"),
              "Icon index": int.from_bytes(header[0x38:0x3C], "little", signed=True)}
    text = subprocess.run(["lnkinfo", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace").stdout
    for line in text.splitlines():
        name, sep, value = line.strip().partition(":")
        name = name.strip()
        if sep and name in SHORTCUT_FIELDS and name not in fields and value.strip():
            fields[name] = value.strip()
    return "shortcut " + json.dumps(fields, sort_keys=True)


BACKUP_NAME = re.compile(r"zusched-backup-\d{8}-\d{6}(-\d+)?\.reg")


def file_diff(before, after, tokens=None):
    """Changes to the files as outcome lines. tokens names the digests of the files that
    stand in for one another on the two sides (the substitute libraries and programs)."""
    tokens = tokens or {}
    out = []

    def shown(path):
        return BACKUP_NAME.sub("zusched-backup-<time>.reg", path)

    def digest(entry):
        kind, value = entry
        return tokens.get(value, value) if kind == "file" else value

    for path in sorted(set(before) | set(after)):
        old, new = before.get(path), after.get(path)
        if old == new:
            continue
        if old is None:
            out.append("%s + %s %s" % (new[0], shown(path), digest(new)))
        elif new is None:
            out.append("%s - %s" % (old[0], shown(path)))
        else:
            out.append("%s ~ %s %s" % (new[0], shown(path), digest(new)))
    return out
