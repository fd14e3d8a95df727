"""The end-to-end test library, shared by the scripts under tests/ and by bench/bench.py.

A script declares its cases as functions `case_NAME(t)` and ends with `e2e.main(globals())`:

    script.py --list                               the cases, one a line: NAME [TAG...]
    script.py CASE WINE_RUN BIN_DIR WORK_DIR [...]  runs one case; prints "ok CASE"

CMake reads the list at configure time (cmake/Testing.cmake). Tags, set with @tagged:
`display`, the case needs an X display and the first process of a prefix of its own (CTest
runs it under xvfb-run); `settings-key`, the case writes Outlook's Addins key of the shared
prefix (CTest's lock of that name).

Everything Windows runs through the build tree's wine-run, in the prefix QS_WINEPREFIX
names. Programs write their output into files, never pipes: a Wine helper process started
meanwhile would hold a pipe open for as long as the Wine server lives.
"""
import collections
import email.header
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ADDINS_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins"
SETTINGS_KEY = ADDINS_KEY + r"\qsStow.Addin"
ADDIN = "qsStow.Addin"
LOADED = "Addin loaded. Version 1.1 Build 34"
STAMP = r"\d{8} \d{6}"
START = ["connected " + ADDIN]
END = ["disconnected", "live objects: 0"]
SENT = "Send MailItem detected. Subject: "
RECEIVED = "New MailItem detected. Subject: "
# The catch-up switched off: the live path alone, whose log holds exactly the live lines.
CATCH_UP_OFF = '"CatchUp"=dword:00000000'
# "12/7/2026 1:45:03 PM message": the general date form of the prefix's locale.
LOG_LINE = re.compile(r"^\S*\d(?: \d{1,2}[:.]\d{2}[:.]\d{2}(?: ?[AP]M)?)? (.*)$")

Done = collections.namedtuple("Done", "rc out err")  # status, stdout lines, stderr text


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_lines(actual, expected, what="transcript"):
    """Lines equal one by one; an expected compiled pattern matches a whole line."""
    if len(actual) == len(expected) and all(
            a == e if isinstance(e, str) else e.fullmatch(a) for a, e in zip(actual, expected)):
        return
    shown = [e if isinstance(e, str) else "/%s/" % e.pattern for e in expected]
    raise AssertionError("%s differs:\n  got:\n    %s\n  expected:\n    %s" %
                         (what, "\n    ".join(actual), "\n    ".join(shown)))


def transcript(*lines):
    """The host's transcript of one qsStow connection around `lines`."""
    return START + list(lines) + END


def saving_line(folder, stem):
    """The log line naming the archive file of a subject cleaned to `stem` in `folder`."""
    return re.compile(re.escape("Saving Mail to: %s\\" % folder.rstrip("\\")) + STAMP +
                      re.escape(" - %s.msg" % stem))


def as_logged(text):
    """The text as the log holds it: in the ANSI code page, which is 1252 in the prefix."""
    return text.encode("cp1252", "replace").decode("cp1252")


def archived_lines(detected, subject, folder, stem=None):
    """The three log lines of a message archived normally; `detected` is SENT or RECEIVED."""
    return [detected + subject, saving_line(folder, subject if stem is None else stem),
            "Successful. "]


def reg_text(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


def archived(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "*.msg")))


def names_match(names, stems):
    """Archive file names, one per cleaned subject, in order."""
    check(len(names) == len(stems), "files %r for subjects %r" % (names, stems))
    for name, stem in zip(names, stems):
        check(re.fullmatch(STAMP + " - " + re.escape(stem) + r"\.msg", name),
              "%r is not named after %r" % (name, stem))


def log_lines(path):
    """The add-in's log lines without their time stamps; None when there is no log."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        raw = f.read()
    check(raw == b"" or raw.endswith(b"\r\n"), "log lines end in CR LF")
    lines = []
    for line in raw.decode("cp1252", "replace").split("\r\n")[:-1]:
        m = LOG_LINE.match(line)
        check(m, "time stamp of log line %r" % line)
        lines.append(m.group(1))
    return lines


# ---- reading .msg files back with tools nobody here wrote --------------------------------


def read_messages(paths, work):
    """The .msg files as msgconvert reads them, in order: (headers, body) each, the headers
    unfolded and their RFC 2047 words decoded."""
    if not paths:
        return []
    mbox = os.path.join(work, "read-back.mbox")
    if os.path.exists(mbox):
        os.remove(mbox)
    subprocess.run(["msgconvert", "--mbox", mbox] + list(paths), check=True, capture_output=True,
                   timeout=300)
    with open(mbox, "rb") as f:
        raw = f.read().replace(b"\r\n", b"\n")
    messages = re.split(rb"(?m)^From [^\n]*\n", raw)[1:]
    check(len(messages) == len(paths), "msgconvert read %d of %d files" % (len(messages), len(paths)))
    result = []
    for message in messages:
        head, _, body = message.partition(b"\n\n")
        headers = {}
        for line in re.sub(rb"\n[ \t]", b" ", head).split(b"\n"):
            # msgconvert writes a header of Latin-1 characters as Latin-1, others as UTF-8.
            try:
                text = line.decode("utf-8")
            except UnicodeDecodeError:
                text = line.decode("latin-1")
            name, _, value = text.partition(": ")
            headers[name] = str(email.header.make_header(email.header.decode_header(value)))
        result.append((headers, body.decode("utf-8", "replace")))
    return result


def open_msg(path):
    """The .msg file's compound file, read with python3-olefile."""
    import olefile
    return olefile.OleFileIO(path)


def plain_body(path):
    """The plain-text body as stored (msgconvert encodes a Unicode body twice)."""
    ole = open_msg(path)
    try:
        if ole.exists("__substg1.0_1000001F"):
            return ole.openstream("__substg1.0_1000001F").read().decode("utf-16-le")
        return ole.openstream("__substg1.0_1000001E").read().decode("cp1252")
    finally:
        ole.close()


# ---- running programs ------------------------------------------------------------------------


class Started:
    """A program whose output goes into files and whose standard input is ours to write."""

    def __init__(self, command, env=None, cwd=None):
        self.stdout, self.stderr = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=self.stdout,
                                        stderr=self.stderr, env=env, cwd=cwd)

    def lines(self):
        # Read at an offset: the program writes through the same open file, whose position
        # must stay where its writes go.
        fd = self.stdout.fileno()
        return os.pread(fd, os.fstat(fd).st_size, 0).decode("utf-8", "replace").splitlines()

    def wait_for(self, line, count=1, timeout=60):
        """Waits until `line` has been printed `count` times."""
        deadline = time.monotonic() + timeout
        while self.lines().count(line) < count:
            check(self.process.poll() is None, "ended before printing %r: %r" % (line, self.lines()))
            check(time.monotonic() < deadline, "no %r within %d s" % (line, timeout))
            time.sleep(0.05)

    def finish(self, timeout=300):
        self.process.stdin.close()
        rc = self.process.wait(timeout=timeout)
        self.stderr.seek(0)
        return Done(rc, self.lines(), self.stderr.read().decode("utf-8", "replace"))


def run(command, env=None, stdin=b"", timeout=300, cwd=None):
    """Runs a program to its end with `stdin` as its input (from a file); returns Done."""
    with tempfile.TemporaryFile() as data, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        data.write(stdin)
        data.seek(0)
        rc = subprocess.run(command, stdin=data, stdout=out, stderr=err, env=env,
                            timeout=timeout, cwd=cwd).returncode
        out.seek(0)
        err.seek(0)
        return Done(rc, out.read().decode("utf-8", "replace").splitlines(),
                    err.read().decode("utf-8", "replace"))


def wine(wine_run, *args, check=True, env=None, stdin=b"", timeout=300):
    done = run([wine_run] + list(args), env=env, stdin=stdin, timeout=timeout)
    if check and done.rc != 0:
        raise AssertionError("%s failed (%d): %s" % (" ".join(args), done.rc, done.err[-2000:]))
    return done


def import_registry(wine_run, path, lines, env=None):
    """Applies `lines` in regedit's syntax (keys, values, [-KEY] to delete) in one Wine call."""
    with open(path, "w", encoding="utf-16") as f:
        f.write("\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines + [""]))
    wine(wine_run, "regedit", "/S", windows_path(path), env=env)


def write_settings(wine_run, path, values, env=None):
    """Writes the settings key anew with `values`, lines in regedit's syntax; None: no key."""
    lines = ["[-%s]" % SETTINGS_KEY, ""]
    if values is not None:
        lines += ["[%s]" % SETTINGS_KEY] + values
    import_registry(wine_run, path, lines, env)


def settings_values(enabled_in=1, enabled_out=1, folder_in="", folder_out="", logging=1,
                    catch_up=0):
    """Outlook's loader value, then the five values as the configuration program stores them,
    and the catch-up switch (None: absent, which is on). The live path's cases switch the
    catch-up off: their logs then hold exactly the live lines."""
    switches = [("EnabledIn", enabled_in), ("EnabledOut", enabled_out), ("Logging", logging)]
    if catch_up is not None:
        switches.append(("CatchUp", catch_up))
    return ['"LoadBehavior"=dword:00000003', '"FolderIn"=' + reg_text(folder_in),
            '"FolderOut"=' + reg_text(folder_out)] + [
        '"%s"=dword:%08x' % (name, value & 0xFFFFFFFF) for name, value in switches]


def fresh_folder(*parts):
    path = os.path.join(*parts)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


class Run:
    """What a case is given: the Wine wrapper, the build's bin folder, its work folder, and
    the script's further arguments by name."""

    def __init__(self, wine_run, bin_dir, work, **more):
        # Absolute: the host runs in a folder of the case's.
        self.wine_run, self.bin, self.work = (os.path.abspath(p) for p in (wine_run, bin_dir, work))
        self.__dict__.update(more)

    def wine(self, *args, **options):
        return wine(self.wine_run, *args, **options)

    def prefix(self):
        """The Linux folder of the Wine prefix the wrapper runs in."""
        return self.wine("--prefix").out[0]

    def host(self, scenario, addin=ADDIN, args=(), env=None, folder=None, from_stdin=False,
             pauses=(), timeout=300):
        """Runs outlook-standin.exe with `addin` (None: those the Addins key lists) and the
        scenario from a file in `folder` (the work folder if None), or on standard input.
        The host works in that folder. At its n-th `pause` line, pauses[n] is called with
        the transcript so far, and the host then goes on. Returns Done."""
        folder = folder or self.work
        data = scenario.encode("utf-8") if isinstance(scenario, str) else scenario
        command = [self.wine_run, os.path.join(self.bin, "outlook-standin.exe")]
        command += (["--addin", addin] if addin else []) + list(args)
        if not from_stdin:
            path = os.path.join(folder, "scenario.txt")
            with open(path, "wb") as f:
                f.write(data)
            command.append(windows_path(path))
        if not pauses:
            return run(command, env=env, stdin=data if from_stdin else b"", timeout=timeout,
                       cwd=folder)
        host = Started(command, env=env, cwd=folder)
        try:
            for count, action in enumerate(pauses, 1):
                host.wait_for("paused", count)
                action(host.lines())
                host.process.stdin.write(b"\n")
                host.process.stdin.flush()
        finally:
            done = host.finish(timeout)
        return done


class AddinCase:
    """A case folder with its own registered copy of qsStow.dll, so that the log beside it
    is the case's own, and the settings key written with regedit."""

    def __init__(self, t, name):
        self.t = t
        self.dir = fresh_folder(t.work, name)
        self.dll = os.path.join(self.dir, "qsStow.dll")
        self.log_path = os.path.join(self.dir, "qsStow.log")
        shutil.copy(os.path.join(t.bin, "qsStow.dll"), self.dll)
        t.wine("regsvr32", "/s", windows_path(self.dll))
        t.wine("regsvr32", "/s", windows_path(os.path.join(t.bin, "qsMapiLib.dll")))

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def registry(self, values):
        write_settings(self.t.wine_run, os.path.join(self.dir, "settings.reg"), values)

    def settings(self, **values):
        self.registry(settings_values(**values))

    def run(self, scenario, args=(), **options):
        return self.t.host(scenario, args=args, folder=self.dir, **options)

    def log(self):
        return log_lines(self.log_path)

    def clear_log(self):
        if os.path.exists(self.log_path):
            os.remove(self.log_path)


# ---- declaring and running cases -----------------------------------------------------------


def tagged(*tags):
    def mark(case):
        case.tags = tags
        return case
    return mark


def main(namespace, more=()):
    """Lists or runs the `case_` functions of a script; `more` names its further arguments."""
    cases = {name[5:].replace("_", "-"): f for name, f in namespace.items()
             if name.startswith("case_") and callable(f)}
    args = sys.argv[1:]
    if args == ["--list"]:
        for name, case in cases.items():
            print(" ".join((name,) + getattr(case, "tags", ())))
        return
    if len(args) != 4 + len(more) or args[0] not in cases:
        sys.exit("usage: %s --list | CASE WINE_RUN BIN_DIR WORK_DIR%s\ncases: %s" % (
            os.path.basename(sys.argv[0]), "".join(" " + m.upper() for m in more), " ".join(cases)))
    name, case = args[0], cases[args[0]]
    t = Run(*args[1:4], **dict(zip(more, args[4:])))
    os.makedirs(t.work, exist_ok=True)
    display = "display" in getattr(case, "tags", ())
    if display:
        os.environ["QS_DISPLAY"] = os.environ["DISPLAY"]
    try:
        case(t)
    finally:
        if display:
            t.wine("--stop", check=False)
    print("ok", name)
