"""What the add-in's end-to-end scripts share: a case folder with its own
registered copy of qsStow.dll (so the log beside it is the case's own), the
settings key written with regedit, and the host run under Wine.

The scripts run in a Wine prefix of their own (QS_WINEPREFIX, set by CTest).
"""
import os
import re
import shutil
import subprocess

KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins\qsStow.Addin"
STAMP = r"\d{8} \d{6}"
START = ["connected qsStow.Addin"]
END = ["disconnected", "live objects: 0"]
# "12/7/2026 1:45:03 PM message": the general date form of the prefix's locale.
LOG_LINE = re.compile(r"^\S*\d(?: \d{1,2}[:.]\d{2}[:.]\d{2}(?: ?[AP]M)?)? (.*)$")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_lines(actual, expected, what="transcript"):
    if actual != expected:
        raise AssertionError("%s differs:\n  got:\n    %s\n  expected:\n    %s" %
                             (what, "\n    ".join(actual), "\n    ".join(expected)))


def reg_text(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


def wine(wine_run, *args, check=True):
    done = subprocess.run([wine_run] + list(args), capture_output=True, timeout=120)
    if check and done.returncode != 0:
        raise AssertionError("%s failed: %s" % (args, done.stderr.decode("utf-8", "replace")))
    return done


class AddinCase:
    def __init__(self, wine_run, bin_dir, work, name):
        self.wine_run, self.bin = wine_run, bin_dir
        self.dir = os.path.join(work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.dll = os.path.join(self.dir, "qsStow.dll")
        self.log_path = os.path.join(self.dir, "qsStow.log")
        shutil.copy(os.path.join(bin_dir, "qsStow.dll"), self.dll)
        wine(wine_run, "regsvr32", "/s", windows_path(self.dll))
        wine(wine_run, "regsvr32", "/s", windows_path(os.path.join(bin_dir, "qsMapiLib.dll")))

    def folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path, exist_ok=True)
        return path

    def registry(self, values):
        """Writes the settings key anew with `values`, lines in regedit's syntax; None: no key."""
        lines = ["Windows Registry Editor Version 5.00", "", "[-%s]" % KEY, ""]
        if values is not None:
            lines += ["[%s]" % KEY] + values + [""]
        reg = os.path.join(self.dir, "settings.reg")
        with open(reg, "w", encoding="utf-16") as f:
            f.write("\r\n".join(lines))
        wine(self.wine_run, "regedit", "/S", windows_path(reg))

    def settings(self, enabled_in=1, enabled_out=1, folder_in="", folder_out="", logging=1):
        """The five values as the configuration program stores them, and Outlook's loader value."""
        self.registry(['"LoadBehavior"=dword:00000003',
                       '"EnabledIn"=dword:%08x' % (enabled_in & 0xFFFFFFFF),
                       '"EnabledOut"=dword:%08x' % (enabled_out & 0xFFFFFFFF),
                       '"FolderIn"=' + reg_text(folder_in), '"FolderOut"=' + reg_text(folder_out),
                       '"Logging"=dword:%08x' % (logging & 0xFFFFFFFF)])

    def run_host(self, scenario, args=()):
        """Runs the host with the add-in; returns (status, stdout lines, stderr)."""
        path = os.path.join(self.dir, "scenario.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(scenario)
        # Output into files, not pipes: a Wine helper process started meanwhile would hold a
        # pipe open for as long as the Wine server lives.
        command = [self.wine_run, os.path.join(self.bin, "outlook-standin.exe"),
                   "--addin", "qsStow.Addin"] + list(args) + [windows_path(path)]
        with open(path + ".out", "w+b") as stdout, open(path + ".err", "w+b") as stderr:
            done = subprocess.run(command, stdout=stdout, stderr=stderr, timeout=300)
            stdout.seek(0)
            stderr.seek(0)
            return (done.returncode, stdout.read().decode("utf-8").splitlines(),
                    stderr.read().decode("utf-8", "replace"))

    def log_lines(self):
        """The add-in's log lines without their time stamps; None when there is no log."""
        if not os.path.exists(self.log_path):
            return None
        with open(self.log_path, "rb") as f:
            raw = f.read()
        check(raw == b"" or raw.endswith(b"\r\n"), "log lines end in CR LF")
        lines = []
        for line in raw.decode("cp1252", "replace").split("\r\n")[:-1]:
            m = LOG_LINE.match(line)
            check(m, "time stamp of log line %r" % line)
            lines.append(m.group(1))
        return lines
