#!/usr/bin/env python3
"""Runs each scenario on the hosted build and on uninstaller.exe under Wine, turns both
runs into outcomes (outcome.py) and compares them (compare.py). tests/parity/run.sh
builds what this needs and calls it; see the README."""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import compare  # noqa: E402
import outcome  # noqa: E402

WINE_SID = "S-1-5-21-0-0-0-1000"
TEMP = "C:\\users\\user\\Temp"
IMAGE = "C:\\Windows\\Temp\\uninstaller.exe"
RELEASE_HOME = "C:\\Program Files\\Zuna\\zre1.8.0_31"
ZAUREG = "C:\\Program Files (x86)\\Common Files\\Zuna\\Zuna Update\\zaureg.exe"
HOLDER_IMAGE = "C:\\Users\\user\\Apps\\zunaapp.exe"
HOLDER_TITLE = "Inventory - Zuna App"
HOLDER_PID = 3000
RUN_TIMEOUT = int(os.environ.get("ZU_PARITY_TIMEOUT", "120"))

# What the program calls that leaves no other trace under Wine: the relay channel logs
# these calls when the uninstaller makes them.
RELAYED = ["MessageBoxA", "MessageBoxW", "PostMessageA", "PostMessageW", "CreateProcessA", "CreateProcessW",
           "SendMessageTimeoutW", "SendMessageTimeoutA", "DestroyWindow", "TerminateProcess", "DialogBoxParamA",
           "DialogBoxParamW"]

# Folders of the Wine prefix that are Wine's own installation; the program touches
# C:\Windows\System32 only through the access bridge's library, named here.
WINE_SKIP = {"c:\\windows\\system32", "c:\\windows\\syswow64", "c:\\windows\\winsxs", "c:\\windows\\globalization",
             "c:\\windows\\microsoft.net", "c:\\windows\\mono", "c:\\windows\\fonts", "c:\\windows\\inf",
             "c:\\windows\\help", "c:\\windows\\logs", "c:\\windows\\installer", "c:\\windows\\resources",
             "c:\\windows\\twain_32", "c:\\windows\\command", "c:\\windows\\offline web pages",
             "c:\\programdata\\microsoft\\windows\\start menu\\programs\\administrative tools",
             "c:\\program files\\common files\\system", "c:\\program files\\internet explorer",
             "c:\\program files\\windows media player", "c:\\program files\\windows nt",
             "c:\\program files (x86)\\common files\\system", "c:\\program files (x86)\\internet explorer",
             "c:\\program files (x86)\\windows media player", "c:\\program files (x86)\\windows nt"}
WATCHED_SYSTEM_FILES = ["HostAccessBridge-64.dll", "HostAccessBridge-32.dll", "HostAccessBridge.dll"]


class Scenario:
    def __init__(self, name, machine, args, holder=False, answers=(), keys=(), tweak=None, what="", locale=None,
                 held="\\bin\\server\\zvm.dll"):
        self.name = name
        # machine.json's locale (uiLanguage, codePage, threadCodePage); Wine follows it
        # through the glibc locale of its environment (see wine_locale).
        self.locale = dict(locale or {})
        self.machine = machine      # "empty", "demo" or an installed machine of zu_parity_machine
        self.args = list(args)
        self.holder = holder        # a real Windows program holds a module of the release's home
        self.held = held            # which one, below the home
        self.answers = list(answers)  # "ok"/"cancel" for each box that asks, on the hosted machine
        self.keys = list(keys)        # under Wine, the keys pressed in each box or dialog, in order
        self.tweak = tweak
        self.what = what


def _write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def _host(machine, windows_path):
    assert windows_path[1:3] == ":\\"
    return os.path.join(machine, "drives", windows_path[0].upper(), *windows_path[3:].split("\\"))


def _remove_base_image(machine):
    shutil.rmtree(os.path.join(machine, "drives/C/ProgramData/Vantor/Zuna/installcache_x64"))


def _config_files(machine):
    _write(_host(machine, "C:\\cfg\\install.cfg"), "INSTALL_SILENT=1\r\nAUTO_UPDATE=Disable\r\n")
    _write(_host(machine, "C:\\ProgramData\\Vantor\\Zuna\\zuna.settings.cfg"),
           "install.disable.sponsor.offers=true\r\n")


def _without_auto_update(machine):
    os.remove(_host(machine, ZAUREG))


def _path_outside_code_page(machine):
    """Two other users' entries in the machine's Path: one the ANSI code page (1252)
    cannot hold, one it can."""
    reg = os.path.join(machine, "registry.reg")
    text = open(reg, encoding="utf-8-sig", newline="").read()
    entries = "C:\\ProgramData\\Vantor\\Zuna\\zunapath;C:\\Tools\\\u65e5\u672c;%SystemRoot%\\system32;" \
              "C:\\Users\\\u00d6l\u00e7er\\bin;%SystemRoot%"
    data = ",".join("%02x,%02x" % (ord(c) & 0xFF, ord(c) >> 8) for c in entries) + ",00,00"
    text = re.sub(r'(\[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment\]\r?\n)'
                  r'"Path"=hex\(2\):[0-9a-f,\\\s]*?(?=\r?\n(?:"|\[|\r?\n|$))',
                  lambda m: m.group(1) + '"Path"=hex(2):' + data, text, count=1, flags=re.I)
    _write(reg, text)


JAPANESE_UI = {"uiLanguage": "ja-JP", "codePage": 1252}

SCENARIOS = [
    Scenario("empty", "empty", ["/s"], what="a machine with nothing installed"),
    Scenario("demo-silent", "demo", ["/s"], holder=True, what="the demo machine, silent"),
    Scenario("base-image-removed", "demo", ["/s"], tweak=_remove_base_image,
             what="the demo machine without its cached base image"),
    Scenario("install-config", "demo", ["INSTALLCFG=C:\\cfg\\install.cfg"], tweak=_config_files,
             what="an install configuration file beside a runtime configuration file"),
    Scenario("rejected-arg-silent", "demo", ["/s", "NOT_A_KEY=1"], tweak=_without_auto_update,
             what="an argument the program refuses, silent"),
    Scenario("rejected-arg-box", "empty", ["NOT_A_KEY=1"], keys=["Return"],
             what="an argument the program refuses, shown in a box"),
    Scenario("auto-update", "demo", ["/s"], what="the auto-update tool present"),
    Scenario("holder-silent", "last-runtime", ["/s"], holder=True,
             what="a Windows program holding a runtime module, silent"),
    # The dialog's one button is its default; the confirmation's default is Cancel.
    Scenario("holder-dialog", "last-runtime", [], holder=True, answers=["ok"], keys=["Return", "shift+Tab Return"],
             what="a Windows program holding a runtime module, closed through the dialog"),
    # The private C runtime is no reason to ask; its deletion fails six times.
    Scenario("holder-private-library", "last-runtime", ["/s"], holder=True, held="\\bin\\msvcr100.dll",
             what="a Windows program holding the release's private C runtime, silent"),
    Scenario("last-runtime", "last-runtime", [], what="the last runtime removed"),
    Scenario("runtime-remains", "runtime-remains", [], what="a runtime of the family remains"),
    Scenario("runtime-32", "runtime-32", [], what="a runtime left in the 32-bit view only"),
    Scenario("deployment", "deployment", [], what="the deployment library's commands"),
    Scenario("path-unicode", "demo", ["/s"], tweak=_path_outside_code_page,
             what="Path entries outside the ANSI code page and inside it"),
    Scenario("home-accent", "home-accent", [], what="a remaining runtime whose home has an \u00e9"),
    Scenario("ui-japanese", "demo", ["/s"], locale=JAPANESE_UI, what="a Japanese user interface on code page 1252"),
    Scenario("ui-japanese-box", "empty", ["NOT_A_KEY=1"], keys=["Return"], locale=JAPANESE_UI,
             what="a Japanese user interface: the box that refuses an argument (screenshot kept)"),
    Scenario("configured-files", "configured-files",
             ["/s", "DEPLOYMENT_RULE_SET=C:\\cfg\\ruleset.zar", "USAGETRACKER_CFG=C:\\cfg\\tracker.properties"],
             what="the configured rule set and usage tracker files"),
]


def quote_argument(arg):
    """As the hosted layer quotes an argument into a command line."""
    if arg and not re.search(r'[ \t\n\v"]', arg):
        return arg
    out = '"'
    i = 0
    while True:
        slashes = 0
        while i < len(arg) and arg[i] == "\\":
            slashes += 1
            i += 1
        if i == len(arg):
            out += "\\" * (slashes * 2)
            break
        out += "\\" * (slashes * 2 + 1 if arg[i] == '"' else slashes) + arg[i]
        i += 1
    return out + '"'


def command_line(args):
    return " ".join(['"%s"' % IMAGE] + [quote_argument(a) for a in args])


# ---- the scenario's machine -------------------------------------------------------------

def make_machine(scenario, tools, target):
    """The machine directory of the scenario, the same for both sides: the user's SID is
    Wine's, folders are named as Wine names them, the only other process is the holder,
    and there are no links (Wine has none)."""
    if scenario.machine == "empty":
        os.makedirs(target)
    elif scenario.machine == "demo":
        shutil.copytree(os.path.join(tools["source"], "examples/machines/demo"), target, symlinks=True)
        shutil.copy(tools["deploy_host"], _host(target, RELEASE_HOME + "\\bin\\deploy.dll"))
    else:
        subprocess.run([tools["make_machine"], scenario.machine, target, tools["deploy_host"]], check=True)
    json_path = os.path.join(target, "machine.json")
    machine = json.load(open(json_path)) if os.path.exists(json_path) else {}
    old_sid = machine.get("user", {}).get("sid", "S-1-5-21-1004336348-1177238915-682003330-1001")
    machine.setdefault("user", {})["sid"] = WINE_SID
    machine.setdefault("process", {})["image"] = IMAGE
    folders = machine.setdefault("folders", {})
    folders.update({"temp": TEMP, "system": "C:\\windows\\system32", "systemWow64": "C:\\windows\\syswow64",
                    "windows": "C:\\windows"})
    machine["processes"] = []
    if scenario.locale:
        machine.setdefault("locale", {}).update(scenario.locale)
    if scenario.holder:
        machine["processes"].append({
            "pid": HOLDER_PID, "ppid": 1000, "exe": "zunaapp.exe", "image": HOLDER_IMAGE,
            "modules": [RELEASE_HOME + scenario.held],
            "windows": [{"title": HOLDER_TITLE, "visible": True}, {"title": "Default IME", "visible": False}],
            "onClose": "exit", "onTerminate": "exit", "access": "allowed"})
        os.makedirs(os.path.dirname(_host(target, HOLDER_IMAGE)), exist_ok=True)
    _write(json_path, json.dumps(machine, indent=2) + "\n")
    reg = os.path.join(target, "registry.reg")
    if os.path.exists(reg):
        text = open(reg, encoding="utf-8-sig", newline="").read()
        text = re.sub(re.escape(old_sid), WINE_SID, text, flags=re.I)
        _write(reg, _only_this_user(text))
    for folder, dirs, files in os.walk(os.path.join(target, "drives")):
        for name in dirs + files:
            if os.path.islink(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
    _windows_base(target)
    if scenario.tweak:
        scenario.tweak(target)


BASE_FOLDERS = ["Program Files\\Common Files", "Program Files (x86)\\Common Files",
                "ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "Users\\user\\Temp",
                "Users\\Public", "Windows\\System32", "Windows\\SysWOW64", "Windows\\Temp"]
ENVIRONMENT = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"


def _windows_base(machine):
    """What every Windows computer has and a machine directory may leave out: the system's
    folders and the machine's Path."""
    for folder in BASE_FOLDERS:
        os.makedirs(_host(machine, "C:\\" + folder), exist_ok=True)
    reg = os.path.join(machine, "registry.reg")
    text = open(reg, encoding="utf-8-sig", newline="").read() if os.path.exists(reg) else \
        "Windows Registry Editor Version 5.00\r\n"
    if "[" + ENVIRONMENT.lower() + "]" not in text.lower():
        text = text.rstrip("\r\n") + "\r\n\r\n[%s]\r\n\"Path\"=hex(2):%s\r\n" % (
            ENVIRONMENT, ",".join("%02x,00" % ord(c) for c in "%SystemRoot%\\system32;%SystemRoot%") + ",00,00")
        _write(reg, text)


def _only_this_user(text):
    """The .reg text without the keys of users other than the running one: Wine keeps
    the running user's hive only, and the keys of any other user are lost when its
    server ends."""
    blocks = re.split(r"\r?\n(?=\[)", text)
    other = re.compile(r"\[-?HKEY_USERS\\(?!%s\b)" % re.escape(WINE_SID), re.I)
    return "\r\n".join(b for b in blocks if not other.match(b))


def substitutes(machine, tools, side, held):
    """The files that stand for a Windows program or library on one side: the deployment
    library, the auto-update tool, and the module the holder loads. {host path: token}."""
    out = {}
    deploy = _host(machine, RELEASE_HOME + "\\bin\\deploy.dll")
    if os.path.exists(deploy):
        if side == "wine":
            shutil.copy(tools["deploy_win"], deploy)
        out[deploy] = "<deploy.dll>"
    zaureg = _host(machine, ZAUREG)
    if os.path.exists(zaureg):
        if side == "wine":
            shutil.copy(os.path.join(tools["bin"], "recorder.exe"), zaureg)
        out[zaureg] = "<zaureg.exe>"
    holder_module = _host(machine, RELEASE_HOME + held)
    if os.path.exists(os.path.dirname(_host(machine, HOLDER_IMAGE))) and os.path.exists(holder_module):
        if side == "wine":
            shutil.copy(os.path.join(tools["bin"], "module.dll"), holder_module)
            shutil.copy(os.path.join(tools["bin"], "holder.exe"), _host(machine, HOLDER_IMAGE))
        out[holder_module] = "<%s>" % held.split("\\")[-1]
    return out


# ---- what a run leaves behind -----------------------------------------------------------

def special_files(tree_before, tree_after, host_of, lines_out):
    """The log, the result and the registry backup hold times; they are compared by
    their records and texts, and their digests left out of the file changes."""
    tokens = {}
    for path, (kind, digest) in sorted(tree_after.items()):
        if kind != "file" or tree_before.get(path) == (kind, digest):
            continue
        name = path.rsplit("\\", 1)[-1]
        if name == "zusched.log":
            tokens[digest] = "<log>"
            lines_out.extend(outcome.log_lines(open(host_of(path), "rb").read()))
        elif name == "zusched-result.json":
            tokens[digest] = "<result>"
            text = open(host_of(path), encoding="utf-8").read()
            text = outcome.BACKUP_NAME.sub("zusched-backup-<time>.reg", text)
            lines_out.extend("result " + line for line in text.splitlines())
        elif outcome.BACKUP_NAME.fullmatch(name):
            tokens[digest] = "<backup>"
            data = open(host_of(path), "rb").read()
            text = data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("utf-8", "replace")
            lines_out.extend(_backup_lines(text))
    return tokens


def _values_sorted(lines):
    """A .reg text with the values of each key in the order of their names. Wine keeps a
    key's values sorted by name and enumerates them so, where Windows and the hosted
    machine keep the order they were written in; the backup lists them as enumerated."""
    out = []
    block = []
    for line in lines + [""]:
        if line.startswith('"') or line.startswith("@="):
            block.append(line)
            continue
        out.extend(sorted(block, key=lambda v: v.split('"=', 1)[0].lower()))
        block = []
        out.append(line)
    return out[:-1]


def _backup_lines(text):
    """The backup's records, one a line, each value behind the block it belongs to, so
    that a line says which key it restores."""
    out = []
    block = "<header>"
    for line in _values_sorted(text.splitlines()):
        if not line.strip():
            continue
        if line.startswith("["):
            block = line
            out.append("backup " + block)
        else:
            out.append("backup %s %s" % (block, line))
    return out


def journal_events(machine, offset):
    out = []
    with open(os.path.join(machine, "journal.jsonl"), encoding="utf-8") as f:
        f.seek(offset)
        for line in f:
            e = json.loads(line)
            kind = e["event"]
            if kind == "messageBox":
                out.append("event messageBox caption=%s text=%s style=%d answer=%s" % (
                    json.dumps(e["caption"]), json.dumps(e["text"]), e["style"], e["answer"]))
            elif kind == "dialog":
                out.append("event dialog resource=%d caption=%s" % (e["resource"], json.dumps(e["caption"])))
            elif kind == "postMessage":
                out.append("event postMessage title=%s message=%d" % (json.dumps(e["title"]), e["message"]))
            elif kind == "destroyWindow":
                out.append("event destroyWindow")
            elif kind == "terminateProcess":
                out.append("event terminateProcess exitCode=%d" % e["exitCode"])
            elif kind == "createProcess":
                out.append("event createProcess application=%s commandLine=%s result=%s" % (
                    json.dumps(e["application"]), json.dumps(e["commandLine"]),
                    "ok" if e["result"] == 0 else "failed"))
            elif kind == "broadcast":
                out.append("event broadcast message=%d" % e["message"])
            elif kind == "setSecurity":
                out.append("event setSecurity path=%s sddl=%s" % (json.dumps(e["path"].lower()), e["sddl"]))
    return out


def run_hosted(scenario, machine, tools, work):
    side = os.path.join(work, "hosted")
    shutil.copytree(machine, side, symlinks=True)
    subs = substitutes(side, tools, "hosted", scenario.held)
    tokens = {outcome.sha1(p): t for p, t in subs.items()}
    drive = os.path.join(side, "drives", "C")
    os.makedirs(drive, exist_ok=True)
    tree_before = outcome.file_tree(drive)
    reg_before = outcome.read_reg_file(open(os.path.join(side, "registry.reg"), "rb").read()) \
        if os.path.exists(os.path.join(side, "registry.reg")) else {}
    journal = os.path.join(side, "journal.jsonl")
    offset = os.path.getsize(journal) if os.path.exists(journal) else 0
    argv = [tools["hosted"], "--machine", side]
    for answer in scenario.answers:
        argv += ["--answer", answer]
    argv += ["--"] + scenario.args
    started = time.monotonic()
    proc = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=RUN_TIMEOUT)
    seconds = time.monotonic() - started
    _write(os.path.join(work, "hosted.output"), proc.stdout.decode("utf-8", "replace"))
    events = journal_events(side, offset)
    runs = [json.loads(line) for line in open(journal, encoding="utf-8") if '"event":"run"' in line.replace(" ", "")]
    exit_code = runs[-1].get("exitCode", "none") if runs else "none"
    lines = ["exit %s" % exit_code]
    tree_after = outcome.file_tree(drive)

    def host_of(path):
        return os.path.join(drive, *_real_parts(drive, path.split("\\")[1:]))

    tokens.update(special_files(tree_before, tree_after, host_of, lines))
    reg_after = outcome.read_reg_file(open(os.path.join(side, "registry.reg"), "rb").read()) \
        if os.path.exists(os.path.join(side, "registry.reg")) else {}
    lines += outcome.registry_diff(reg_before, reg_after)
    lines += outcome.file_diff(tree_before, tree_after, tokens)
    lines += events
    left = json.load(open(os.path.join(side, "machine.json"))).get("processes", [])
    lines += ["process %s still running" % p["exe"] for p in left]
    ran = os.path.join(side, "zaureg.ran")
    if os.path.exists(ran):
        lines += ["recorded " + line for line in open(ran).read().splitlines()]
    return lines, seconds


def _real_parts(root, parts):
    """The host names of a path's parts, looked up without case."""
    out = []
    folder = root
    for part in parts:
        names = os.listdir(folder) if os.path.isdir(folder) else []
        match = next((n for n in names if n.lower() == part.lower()), part)
        out.append(match)
        folder = os.path.join(folder, match)
    return out


# ---- Wine ---------------------------------------------------------------------------------

class Wine:
    def __init__(self, work, display):
        self.work = work
        self.display = display
        self.base = os.path.join(work, "prefix-base")

    def env(self, prefix, extra=None):
        env = dict(os.environ)
        env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "USER": "user", "DISPLAY": self.display,
                    "WINEDLLOVERRIDES": "mscoree,mshtml=", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        env.pop("WAYLAND_DISPLAY", None)
        for name, value in (extra or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        return env

    def locale_env(self, locale):
        """The environment that gives Wine the machine's locale. Wine 8 takes the ANSI code
        page from LC_CTYPE and the user-interface language (and the thread's locale) from
        LC_MESSAGES, for glibc locales that exist: they are compiled into the work folder."""
        ui = locale.get("uiLanguage")
        if not ui or ui.lower().startswith("en"):
            return {}
        if locale.get("codePage", 1252) != 1252:
            raise RuntimeError("only code page 1252 is set up for Wine")
        folder = os.path.join(self.work, "locales")
        glibc = ui.replace("-", "_")
        for name in ("en_US", glibc):
            target = os.path.join(folder, name + ".UTF-8")
            if not os.path.exists(target):
                os.makedirs(folder, exist_ok=True)
                subprocess.run(["localedef", "-i", name, "-f", "UTF-8", target], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return {"LOCPATH": folder, "LC_ALL": None, "LANG": "en_US.UTF-8", "LC_MESSAGES": glibc + ".UTF-8"}

    def run(self, prefix, argv, extra=None, **kwargs):
        return subprocess.run(["wine"] + argv, env=self.env(prefix, extra), stdin=subprocess.DEVNULL, **kwargs)

    def server_wait(self, prefix):
        subprocess.run(["wineserver", "-w"], env=self.env(prefix), check=False, timeout=60)

    def server_kill(self, prefix):
        subprocess.run(["wineserver", "-k"], env=self.env(prefix), check=False, timeout=60,
                       stderr=subprocess.DEVNULL)
        self.server_wait(prefix)

    def boot(self):
        if not os.path.exists(os.path.join(self.base, "system.reg")):
            shutil.rmtree(self.base, ignore_errors=True)
            subprocess.run(["wineboot", "-i"], env=self.env(self.base), check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            self.server_wait(self.base)
            subprocess.run(["winecfg", "-v", "win10"], env=self.env(self.base), check=True, timeout=120)
        # The relay channel logs the listed calls when the uninstaller makes them.
        reg = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n"
               "\"RelayInclude\"=\"%s\"\r\n\"RelayFromInclude\"=\"uninstaller.exe\"\r\n\"RelayFromExclude\"=-\r\n"
               "\"RelayExclude\"=-\r\n") % ";".join(RELAYED)
        path = os.path.join(self.work, "relay.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + reg.encode("utf-16-le"))
        self.run(self.base, ["regedit", "/S", path], check=True, timeout=120)
        self.server_wait(self.base)


def wine_registry(prefix):
    rename = {"hkey_local_machine\\system\\controlset001": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet"}
    keys = outcome.read_wine_registry(open(os.path.join(prefix, "system.reg"), "rb").read(), "HKEY_LOCAL_MACHINE",
                                      rename)
    keys.update(outcome.read_wine_registry(open(os.path.join(prefix, "user.reg"), "rb").read(),
                                           "HKEY_USERS\\" + WINE_SID))
    return keys


def copy_drive(source, target):
    """drives/C into drive_c, merging folders whose names differ only in case."""
    for name in os.listdir(source):
        src = os.path.join(source, name)
        existing = next((n for n in os.listdir(target) if n.lower() == name.lower()), None)
        dst = os.path.join(target, existing or name)
        if os.path.isdir(src):
            os.makedirs(dst, exist_ok=True)
            copy_drive(src, dst)
        else:
            shutil.copy2(src, dst)


RELAY_CALL = re.compile(r"^[0-9a-f]+:Call (?:[\w.]+\.)?(\w+)\((.*)\) ret=([0-9a-f]+)$")
RELAY_RET = re.compile(r"^[0-9a-f]+:Ret  (?:[\w.]+\.)?(\w+)\(\) retval=([0-9a-f]+) ret=([0-9a-f]+)$")


def _relay_args(text):
    """The arguments of a relayed call: numbers, and strings where Wine shows them."""
    out = []
    i = 0
    while i < len(text):
        m = re.match(r'\s*([0-9a-f]+)(?: (L?)"((?:[^"\\]|\\.)*)")?\s*,?', text[i:])
        if not m or m.end() == 0:
            break
        out.append((int(m.group(1), 16), _debugstr(m.group(3), m.group(2) == "L") if m.group(3) is not None else None))
        i += m.end()
    return out


def _debugstr(text, wide=False):
    # Wine writes a wide string's other characters as a backslash and four hex digits.
    if wide:
        text = re.sub(r"\\\\|\\([0-9a-f]{4})",
                      lambda m: "\\u" + m.group(1) if m.group(1) else m.group(0), text)
    return re.sub(r"\\(x[0-9a-f]{2}|u[0-9a-f]{4}|.)",
                  lambda m: {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}.get(
                      m.group(1), chr(int(m.group(1)[1:], 16)) if m.group(1)[0] in "xu" else m.group(1)),
                  text)


def relay_events(text, windows=None):
    """The calls the relay channel saw, as outcome events, in the order they were made.
    windows names the window handles that are known ({handle: title})."""
    windows = windows or {}
    out = []
    pending = {}
    for line in text.splitlines():
        m = RELAY_CALL.match(line)
        if m:
            # Each event takes its place when the call is made, as the journal's do.
            pending[(m.group(1), m.group(3))] = (_relay_args(m.group(2)), len(out))
            out.append(None)
            continue
        m = RELAY_RET.match(line)
        if not m or (m.group(1), m.group(3)) not in pending:
            continue
        name, retval = m.group(1), int(m.group(2), 16)
        args, slot = pending.pop((name, m.group(3)))
        before = len(out)
        if name.startswith("MessageBox"):
            answer = {1: "ok", 2: "cancel"}.get(retval, str(retval))
            out.append("event messageBox caption=%s text=%s style=%d answer=%s" % (
                json.dumps(args[2][1]), json.dumps(args[1][1]), args[3][0], answer))
        elif name.startswith("PostMessage"):
            title = windows.get(args[0][0], "<window %x>" % args[0][0])
            out.append("event postMessage title=%s message=%d" % (json.dumps(title), args[1][0]))
        elif name == "DestroyWindow":
            out.append("event destroyWindow")
        elif name == "TerminateProcess":
            out.append("event terminateProcess exitCode=%d" % args[1][0])
        elif name.startswith("CreateProcess"):
            out.append("event createProcess application=%s commandLine=%s result=%s" % (
                json.dumps(args[0][1]), json.dumps(args[1][1]), "ok" if retval else "failed"))
        elif name.startswith("SendMessageTimeout") and args[0][0] == 0xffff:
            out.append("event broadcast message=%d" % args[1][0])
        elif name.startswith("DialogBoxParam"):
            out.append("event dialog resource=%d caption=<shown>" % args[1][0])
        out[slot] = out.pop() if len(out) > before else None
    return [e for e in out if e is not None]


class Answerer(threading.Thread):
    """Answers the uninstaller's boxes and dialogs on the virtual display: presses the
    default button (OK, or the dialog's one button) of each new window it shows."""

    def __init__(self, display, keys, shoot=None):
        super().__init__(daemon=True)
        self.display = display
        self.keys = list(keys)
        self.shoot = shoot  # takes a screenshot of the box before it is answered
        self.stop = threading.Event()
        self.captions = []

    def run(self):
        env = dict(os.environ, DISPLAY=self.display)
        seen = set()
        while not self.stop.is_set():
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."], env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
            for window in found:
                if window in seen:
                    continue
                name = subprocess.run(["xdotool", "getwindowname", window], env=env, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True).stdout.strip()
                if name in (HOLDER_TITLE, "Default IME") or not name:
                    continue
                seen.add(window)
                self.captions.append(name)
                print("  answering %r" % name, flush=True)
                time.sleep(0.5)
                if self.shoot:
                    self.shoot(len(self.captions))
                keys = (self.keys.pop(0) if self.keys else "Return").split()
                subprocess.run(["xdotool", "windowactivate", "--sync", window], env=env,
                               stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=10)
                subprocess.run(["xdotool", "key", "--delay", "200", "--window", window] + keys, env=env,
                               stderr=subprocess.DEVNULL, timeout=10)
            self.stop.wait(0.3)


def run_wine(scenario, machine, tools, work, wine, keep=False):
    side = os.path.join(work, "wine-machine")
    shutil.copytree(machine, side, symlinks=True)
    subs = substitutes(side, tools, "wine", scenario.held)
    tokens = {outcome.sha1(p): t for p, t in subs.items()}
    prefix = os.path.join(work, "prefix")
    subprocess.run(["cp", "-a", wine.base, prefix], check=True)
    out_dir = os.path.join(work, "wine-out")
    os.makedirs(out_dir)
    drive_c = os.path.join(prefix, "drive_c")
    reg = os.path.join(side, "registry.reg")
    if os.path.exists(reg):
        text = open(reg, encoding="utf-8-sig", newline="").read().replace("\r\n", "\n").replace("\n", "\r\n")
        # Wine names the machine's Path "PATH"; the machine's own value takes its place.
        header, _, rest = text.partition("\r\n")
        text = "%s\r\n\r\n[%s]\r\n\"PATH\"=-\r\n%s" % (header, ENVIRONMENT, rest)
        imported = os.path.join(out_dir, "import.reg")
        with open(imported, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        wine.run(prefix, ["regedit", "/S", imported], check=True, timeout=120)
    if os.path.isdir(os.path.join(side, "drives", "C")):
        copy_drive(os.path.join(side, "drives", "C"), drive_c)
    os.makedirs(os.path.join(drive_c, "windows", "temp"), exist_ok=True)
    shutil.copy(tools["exe"], os.path.join(drive_c, "windows", "temp", "uninstaller.exe"))
    shutil.copy(os.path.join(tools["bin"], "runexit.exe"), os.path.join(out_dir, "runexit.exe"))
    wine.server_wait(prefix)
    tree_before = outcome.file_tree(drive_c, WINE_SKIP)
    reg_before = wine_registry(prefix)
    system_before = _system_files(drive_c)

    holder = None
    if scenario.holder:
        ready = os.path.join(out_dir, "ready.txt")
        # Wine would load its own library for a name it has one of (msvcr100.dll), leaving
        # the file unmapped: the holder is told to load the file itself.
        held = os.path.splitext(scenario.held.split("\\")[-1])[0]
        native = {"WINEDLLOVERRIDES": "mscoree,mshtml=;%s=n" % held}
        holder = subprocess.Popen(["wine", HOLDER_IMAGE, RELEASE_HOME + scenario.held, HOLDER_TITLE,
                                   "Z:" + ready.replace("/", "\\")], env=wine.env(prefix, native),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not os.path.exists(ready):
            if time.monotonic() > deadline or holder.poll() is not None:
                raise RuntimeError("the holder did not start (status %s)" % holder.poll())
            time.sleep(0.2)
        fields = open(ready).read().split()
        holder_pid = int(fields[0])
        windows = {int(fields[1], 16): HOLDER_TITLE, int(fields[2], 16): "Default IME"}
    locale_env = wine.locale_env(scenario.locale)
    shoot = None
    if scenario.locale:
        def shoot(number):
            # Beside the Windows helpers, where it outlives the work folder.
            shot = os.path.abspath(os.path.join(tools["bin"], "%s-box-%d.bmp" % (scenario.name, number)))
            wine.run(prefix, [os.path.join(out_dir, "screenshot.exe"), "Z:" + shot.replace("/", "\\")],
                     extra=locale_env, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            print("  screenshot: %s" % shot, flush=True)
        shutil.copy(os.path.join(tools["bin"], "screenshot.exe"), os.path.join(out_dir, "screenshot.exe"))
    answerer = Answerer(wine.display, scenario.keys, shoot)
    answerer.start()
    exit_file = os.path.join(out_dir, "exit.txt")
    windows_dir = "Z:" + out_dir.replace("/", "\\")
    started = time.monotonic()
    relay_path = os.path.join(work, "wine.relay")
    with open(relay_path, "wb") as relay_file:
        # The uninstaller starts in the machine's current directory, C:\Windows\system32.
        proc = subprocess.Popen(["wine", os.path.join(out_dir, "runexit.exe"), windows_dir + "\\exit.txt", IMAGE,
                                 command_line(scenario.args)],
                                env=wine.env(prefix, dict(locale_env, WINEDEBUG="-all,+relay",
                                                          HOSTED_MACHINE=windows_dir)),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=relay_file,
                                cwd=os.path.join(drive_c, "windows", "system32"))
        try:
            proc.wait(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            wine.server_kill(prefix)
            proc.wait()
    seconds = time.monotonic() - started
    answerer.stop.set()
    answerer.join()
    relay = open(relay_path, encoding="utf-8", errors="replace").read()
    # A program the uninstaller started and did not wait for finishes before the prefix
    # is taken down, as it would on Windows; only the auto-update tool is started so.
    ran = os.path.join(out_dir, "zaureg.ran")
    if any(e.startswith("event createProcess") and "zaureg.exe" in e and e.endswith("result=ok")
           for e in relay_events(relay)):
        deadline = time.monotonic() + 30
        while not os.path.exists(ran) and time.monotonic() < deadline:
            time.sleep(0.2)
    still = []
    if holder:
        try:
            holder.wait(timeout=5)
        except subprocess.TimeoutExpired:
            still.append("zunaapp.exe")
    wine.server_kill(prefix)
    if holder and holder.poll() is None:
        holder.kill()
        holder.wait()
    lines = []
    if os.path.exists(exit_file):
        code, pid = open(exit_file).read().split()
        lines.append("exit %s" % code)
    else:
        lines.append("exit none (runexit: %d)" % proc.returncode)
        pid = None
    tree_after = outcome.file_tree(drive_c, WINE_SKIP)

    def host_of(path):
        return os.path.join(drive_c, *_real_parts(drive_c, path.split("\\")[1:]))

    log_lines = []
    tokens.update(special_files(tree_before, tree_after, host_of, log_lines))
    # The process ids Wine gave the uninstaller and the holder are the machine's.
    renames = []
    if pid:
        renames.append((r"(?i)(\bpid\W{0,3})%d\b" % int(pid), r"\g<1>4242"))
    if holder:
        renames.append((r"(?i)(\bpid\W{0,3})%d\b" % holder_pid, r"\g<1>%d" % HOLDER_PID))
    for i, line in enumerate(log_lines):
        for pattern, replacement in renames:
            line = re.sub(pattern, replacement, line)
        log_lines[i] = line
    lines += log_lines
    lines += outcome.registry_diff(reg_before, wine_registry(prefix))
    file_lines = outcome.file_diff(tree_before, tree_after, tokens)
    file_lines += outcome.file_diff(system_before, _system_files(drive_c), tokens)
    lines += sorted(file_lines, key=_file_order)
    events = relay_events(relay, windows if holder else None)
    for i, e in enumerate(events):
        if e.startswith("event dialog") and answerer.captions:
            events[i] = e.replace("<shown>", json.dumps(answerer.captions[0]))
    lines += events
    lines += ["process %s still running" % exe for exe in still]
    if os.path.exists(ran):
        lines += ["recorded " + line for line in open(ran).read().splitlines()]
    if not keep:
        shutil.rmtree(prefix, ignore_errors=True)
    return lines, seconds


def _file_order(line):
    return line.split(" ", 2)[2].split(" ")[0] if line.count(" ") >= 2 else line


def _system_files(drive_c):
    tree = {}
    for folder in ("system32", "syswow64"):
        for name in WATCHED_SYSTEM_FILES:
            path = os.path.join(drive_c, "windows", folder, name)
            if os.path.exists(path):
                tree["c:\\windows\\%s\\%s" % (folder, name.lower())] = ("file", outcome.sha1(path))
    return tree


# ---- the suite ----------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True)
    parser.add_argument("--hosted", required=True, help="the hosted uninstaller")
    parser.add_argument("--make-machine", required=True, help="zu_parity_machine")
    parser.add_argument("--deploy-host", required=True)
    parser.add_argument("--deploy-win", required=True)
    parser.add_argument("--exe", required=True, help="uninstaller.exe")
    parser.add_argument("--bin", required=True, help="the Windows helpers")
    parser.add_argument("--work", required=True)
    parser.add_argument("--display", required=True)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep each scenario's Wine prefix")
    parser.add_argument("scenarios", nargs="*")
    options = parser.parse_args()
    if options.list:
        for s in SCENARIOS:
            print("%-20s %s" % (s.name, s.what))
        return 0
    tools = {"source": options.source, "hosted": options.hosted, "make_machine": options.make_machine,
             "deploy_host": options.deploy_host, "deploy_win": options.deploy_win, "exe": options.exe,
             "bin": options.bin}
    chosen = [s for s in SCENARIOS if not options.scenarios or s.name in options.scenarios]
    unknown = set(options.scenarios) - {s.name for s in SCENARIOS}
    if unknown:
        print("no such scenario: %s" % ", ".join(sorted(unknown)), file=sys.stderr)
        return 64
    known = compare.parse_known(open(os.path.join(HERE, "known-differences.txt"), encoding="utf-8").read())
    wine = Wine(options.work, options.display)
    started = time.monotonic()
    wine.boot()
    print("prefix booted in %.1f s" % (time.monotonic() - started))
    failed = []
    for s in chosen:
        work = os.path.join(options.work, s.name)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        machine = os.path.join(work, "machine")
        make_machine(s, tools, machine)
        hosted, hosted_seconds = run_hosted(s, machine, tools, work)
        wine_lines, wine_seconds = run_wine(s, machine, tools, work, wine, options.keep)
        _write(os.path.join(work, "hosted.outcome"), "\n".join(hosted) + "\n")
        _write(os.path.join(work, "wine.outcome"), "\n".join(wine_lines) + "\n")
        diff = compare.compare(s.name, hosted, wine_lines, known)
        verdict = "agree" if not diff else "DIFFER"
        print("%-20s %s  (%d lines; hosted %.1f s, wine %.1f s)" % (s.name, verdict, len(hosted), hosted_seconds,
                                                                     wine_seconds))
        if diff:
            failed.append(s.name)
            print("\n".join(diff[:200]))
    if len(chosen) == len(SCENARIOS):
        # Wine's own keys change in some runs only, so an entry that dropped nothing is
        # shown for whoever reads the list, not counted as a failure.
        for entry in known:
            if not entry.used:
                print("note: known-differences.txt:%d dropped nothing in this run" % entry.line)
    print("%d scenarios in %.0f s; %s" % (len(chosen), time.monotonic() - started,
                                          "all agree" if not failed else "failed: " + ", ".join(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
