"""Running Windows programs under Wine from Linux: orvanta.exe itself, and reg.exe for the
per-user registry values the host changes.

Expects WINEPREFIX and DISPLAY, from scripts/wine.sh's wine_start or from boot(). Every Wine
call here carries a time-out, and output is collected through files rather than pipes, so a Wine
service process that inherits a stream can never keep a reader waiting.
"""

import os
import re
import shutil
import subprocess
import tempfile

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
PROXY_VALUES = ("ProxyEnable", "ProxyServer", "ProxyOverride")
# Wine's programs by path, never by bare name. A bare name runs start.exe, which starts the
# program as its child, inside a kill-on-close job that it closes when it ends. Under Wine, a
# process started while another process of the prefix closes such a job now and then fails to
# start (error 1359; start.exe then says "ShellExecuteEx failed: Internal error"), so every reg
# call of the tests was one chance to fail a start of the host's. By path, the Unix process is
# the program itself: no job, and no child to fail.
SYSTEM32 = "C:\\windows\\system32\\"
REG = SYSTEM32 + "reg.exe"


def wine_environment(extra=None):
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    # Wine turns the Unix argv into a Windows command line through the locale's code page;
    # under C or POSIX every non-ASCII argument would arrive mangled.
    env["LANG"] = env["LC_ALL"] = "C.UTF-8"
    if extra:
        env.update({k: v for k, v in extra.items() if v is not None})
        for k, v in extra.items():
            if v is None:
                env.pop(k, None)
    return env


def _quietly():
    return dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                env=wine_environment())


def boot(powershell_standin, wininet_recorder=None, rasapi32_standin=None):
    """Starts the prefix in WINEPREFIX as scripts/wine.sh's wine_start does: a persistent server,
    the prefix itself, its desktop process, all on /dev/null streams (a Wine process that
    inherits a reader's pipe keeps it open), and our PowerShell stand-in in its system folder,
    the only place the host runs PowerShell from. The WinINet recorder, if given, goes there
    too, and so does the rasapi32 stand-in with its two phonebook entries; only processes started
    with WINEDLLOVERRIDES wininet=n,b (rasapi32=n,b) load them instead of Wine's own."""
    subprocess.run([WINESERVER, "-p"], timeout=30, **_quietly())
    subprocess.run([WINE, SYSTEM32 + "wineboot.exe", "-i"], timeout=120, **_quietly())
    subprocess.Popen([WINE, SYSTEM32 + "explorer.exe", "/desktop"], start_new_session=True,
                     **_quietly())
    install_standins(powershell_standin, wininet_recorder, rasapi32_standin)


def install_standins(powershell_standin, wininet_recorder=None, rasapi32_standin=None):
    """Puts our stand-ins where the host looks for the system's own, in the system folder of
    WINEPREFIX (booted)."""
    system32 = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "system32")
    target = os.path.join(system32, "WindowsPowerShell", "v1.0")
    os.makedirs(target, exist_ok=True)
    shutil.copyfile(powershell_standin, os.path.join(target, "powershell.exe"))
    if wininet_recorder:
        shutil.copyfile(wininet_recorder, os.path.join(system32, "wininet.dll"))
    if rasapi32_standin:
        shutil.copyfile(rasapi32_standin, os.path.join(system32, "rasapi32.dll"))


def shut_down():
    """Ends the server of WINEPREFIX and every program of the prefix."""
    subprocess.run([WINESERVER, "-k"], timeout=30, **_quietly())


def run(args, timeout=60, cwd=None, env=None):
    """Runs a Windows program to its end; returns (exit code, stdout bytes, stderr bytes)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        completed = subprocess.run(
            [WINE] + list(args),
            stdin=subprocess.DEVNULL,
            stdout=out,
            stderr=err,
            cwd=cwd,
            env=wine_environment(env),
            timeout=timeout,
        )
        out.seek(0)
        err.seek(0)
        return completed.returncode, out.read(), err.read()


def start(args, stdout_path, env=None):
    """Starts a Windows program without waiting; its standard output goes to stdout_path.
    The caller owns the returned Popen and must wait for or kill it."""
    with open(stdout_path, "wb") as out:
        return subprocess.Popen([WINE] + list(args), stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL, env=wine_environment(env))


def _text(raw):
    if raw.startswith(b"\xff\xfe") or (len(raw) > 1 and raw[1:2] == b"\0"):
        raw = raw.decode("utf-16-le", "replace").lstrip("\ufeff")
    else:
        raw = raw.decode("utf-8", "replace")
    return raw.replace("\r\n", "\n").replace("\r", "\n")


_VALUE_LINE = re.compile(r"^\s+(\S+)\s+(REG_[A-Z_]+)(?:[ \t]+(.*?))?\s*$")


def read_values(key):
    """All values of a registry key as {name: (type, data)}; {} when the key is missing.
    REG_DWORD data are ints, everything else text.

    Only reg's own answer counts as a missing key: any other failure, read as "missing", would
    make values that are there look absent."""
    code, out, err = run([REG, "query", key])
    if code != 0:
        if "Unable to find the specified registry key" in _text(out) + _text(err):
            return {}
        raise RuntimeError("reg query %s failed (exit code %d): %r %r" % (key, code, out, err))
    values = {}
    for line in _text(out).split("\n"):
        match = _VALUE_LINE.match(line)
        if not match:
            continue
        name, kind, data = match.group(1), match.group(2), match.group(3) or ""
        if kind == "REG_DWORD":
            data = int(data, 16) if data.lower().startswith("0x") else int(data)
        values[name] = (kind, data)
    return values


def write_value(key, name, kind, data):
    code, out, err = run([REG, "add", key, "/v", name, "/t", kind, "/d", str(data), "/f"])
    if code != 0:
        raise RuntimeError("reg add %s %s failed: %r %r" % (key, name, out, err))


def delete_value(key, name):
    run([REG, "delete", key, "/v", name, "/f"])


def proxy_values():
    """ProxyEnable, ProxyServer and ProxyOverride as {name: data}; missing ones are None."""
    values = read_values(INTERNET_SETTINGS)
    return {name: values[name][1] if name in values else None for name in PROXY_VALUES}


class SavedValues:
    """Remembers some values of a key and puts them back exactly, deleting the ones that
    did not exist before."""

    def __init__(self, key, names):
        self.key = key
        current = read_values(key)
        self.saved = {name: current.get(name) for name in names}

    def restore(self):
        for name, saved in self.saved.items():
            if saved is None:
                delete_value(self.key, name)
            else:
                write_value(self.key, name, saved[0], saved[1])


def to_windows_path(path):
    """A Linux path as Wine sees it through its Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
