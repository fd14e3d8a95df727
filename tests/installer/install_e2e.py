#!/usr/bin/env python3
"""The Windows installer under Wine: msiexec installs, upgrades and removes
the package in a fresh prefix, and outlook-standin.exe loads the installed
add-in the way Outlook does.

Usage: install_e2e.py CASE WINE_RUN BIN_DIR WORK_DIR MSI VERSION

VERSION is the package version MSI was built for, X.Y.Z.

Each case copies the ready prefix QS_WINEPREFIX (made by the CTest fixture)
to a prefix of its own under WORK_DIR, and ends that prefix's wineserver.
"""
import os
import re
import shutil
import subprocess
import sys

CASE, WINE_RUN, BIN, WORK, MSI, VERSION = sys.argv[1:7]
OLDER = "1.0.0"  # any version below VERSION
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CLASSES = r"HKEY_CURRENT_USER\Software\Classes"
ADDIN_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins\qsStow.Addin"
UNINSTALL = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALL_DIR = r"C:\users\{user}\AppData\Local\Programs\Quillstow"
SHORTCUT = "Quillstow for Outlook Configuration.lnk"
LOADER_VALUES = {"LoadBehavior": "dword:00000003", "FriendlyName": '"Quillstow for Outlook"',
                 "Description": '"Archives every sent and received message as an Outlook message file."'}


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def copy_file(source, target):
    """Copies a prefix's file; Wine's own binaries, which nothing here writes,
    are linked instead, which makes a copy of the prefix ten times faster."""
    if re.search(r"/drive_c/windows/(system32|winsxs)/", source):
        os.link(source, target)
    else:
        shutil.copy2(source, target)


class Prefix:
    """A copy of the fixture's fresh prefix, for one case."""

    def __init__(self, name):
        self.dir = os.path.join(WORK, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.path = os.path.join(self.dir, "prefix")
        shutil.copytree(os.environ["QS_WINEPREFIX"], self.path, symlinks=True, copy_function=copy_file)
        self.env = dict(os.environ, QS_WINEPREFIX=self.path)
        self.user = os.listdir(os.path.join(self.path, "drive_c", "users"))
        self.user = [u for u in self.user if u != "Public"][0]
        self.install_dir = INSTALL_DIR.format(user=self.user)
        self.runs = 0

    def stop(self):
        """Ends the prefix's server; the prefix is kept only when the case failed."""
        subprocess.run([WINE_RUN, "--stop"], env=self.env, capture_output=True, timeout=60)
        if sys.exc_info()[0] is None:
            shutil.rmtree(self.path, ignore_errors=True)

    def wine(self, *args, check_rc=True, stdin=None):
        done = subprocess.run([WINE_RUN] + list(args), env=self.env, capture_output=True,
                              input=stdin, timeout=300)
        if check_rc and done.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (
                args, done.returncode, done.stderr.decode("utf-8", "replace")[-2000:]))
        return done

    def msiexec(self, action, msi, *properties):
        self.runs += 1
        log = os.path.join(self.dir, "msiexec-%d.log" % self.runs)
        done = self.wine("msiexec", action, windows_path(msi), "/qn", "/l*", windows_path(log),
                         *properties, check_rc=False)
        return done.returncode

    def unix(self, windows):
        """The Linux path of a C: path in this prefix."""
        check(windows[:3].upper() == "C:\\", windows)
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def export(self, key):
        """The key's subtree as {(key path, value name or None for the key): data}."""
        out = os.path.join(self.dir, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        if self.wine("regedit", "/E", windows_path(out), key, check_rc=False).returncode != 0 \
                or not os.path.exists(out):
            return {}
        with open(out, encoding="utf-16") as f:
            text = f.read().replace("\\\r\n  ", "").replace("\\\n  ", "")
        entries, current = {}, None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1]
                entries[(current, None)] = ""
            elif current and line:
                m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
                check(m, "unexpected line in %s: %r" % (key, line))
                name = "" if m.group(1) == "@" else m.group(1)[1:-1]
                data = m.group(2)
                if data.startswith("hex(2):"):  # REG_EXPAND_SZ, shown here as its text
                    raw = bytes.fromhex(data[7:].replace(",", ""))
                    data = 'expand:"%s"' % raw.decode("utf-16-le").rstrip("\0")
                entries[(current, name)] = data
        return entries

    def classes_and_loader(self):
        return {**self.export(CLASSES), **self.export(ADDIN_KEY)}

    def products(self):
        """(DisplayName, DisplayVersion, Publisher, UninstallString) of Quillstow's entries."""
        found = []
        for (key, name), data in self.export(UNINSTALL).items():
            if name == "DisplayName" and data == '"Quillstow for Outlook"':
                entry = self.export(key)
                found.append(tuple(entry.get((key, n)) for n in
                                   ("DisplayName", "DisplayVersion", "Publisher", "UninstallString")))
        return found

    def write_settings(self, folder_in, folder_out, logging=1):
        """The five values as the configuration program writes them."""
        for name, kind, data in [("EnabledIn", "REG_DWORD", "1"), ("EnabledOut", "REG_DWORD", "1"),
                                 ("FolderIn", "REG_SZ", folder_in), ("FolderOut", "REG_SZ", folder_out),
                                 ("Logging", "REG_DWORD", str(logging))]:
            self.wine("reg", "add", ADDIN_KEY, "/v", name, "/t", kind, "/d", data, "/f")


def added(before, after):
    return {k: v for k, v in after.items() if before.get(k) != v}


def dump(entries):
    return "\n    ".join("%s | %s = %s" % (k, n, v) for (k, n), v in sorted(entries.items(),
                                                                        key=lambda e: str(e[0])))


def expect_entries(actual, expected, what):
    if actual != expected:
        raise AssertionError("%s differ.\n  only in the first:\n    %s\n  only in the second:\n    %s"
                             % (what, dump({k: v for k, v in actual.items() if expected.get(k) != v}),
                                dump({k: v for k, v in expected.items() if actual.get(k) != v})))


def settings_only(entries):
    """The settings key's entries apart from the loader values."""
    return {k: v for k, v in entries.items() if k[1] not in LOADER_VALUES}


def reg_text(value):
    return '"%s"' % value.replace("\\", "\\\\")


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    check(data[offset:offset + 4] == b"PE\0\0", "%s is no PE file" % path)
    return int.from_bytes(data[offset + 4:offset + 6], "little")


def expect_installed(p, version=VERSION):
    """Files, shortcut, loader values and one entry among installed programs."""
    for sub, machine in [("x86", 0x14C), ("x64", 0x8664)]:
        dll = p.unix(p.install_dir + "\\" + sub + "\\qsStow.dll")
        check(os.path.isfile(dll), "%s installed" % dll)
        check(pe_machine(dll) == machine, "%s is built for machine %#x" % (dll, machine))
    check(pe_machine(p.unix(p.install_dir + "\\qsStowConfig.exe")) == 0x14C, "qsStowConfig.exe (i686)")
    check(os.path.isfile(shortcut_path(p)), "Start-menu shortcut")
    loader = p.export(ADDIN_KEY)
    for name, data in LOADER_VALUES.items():
        check(loader.get((ADDIN_KEY, name)) == data, "%s in %r" % (name, loader))
    products = p.products()
    check(len(products) == 1, "one installed program: %r" % products)
    name, shown_version, publisher, uninstall = products[0]
    check(shown_version == '"%s"' % version and publisher == '"Ferrovale.Net"', products[0])
    check(re.fullmatch(r'expand:"MsiExec\.exe /X\{[0-9A-F-]{36}\}"', uninstall or ""), uninstall)


def shortcut_path(p):
    return os.path.join(p.path, "drive_c", "users", p.user, "AppData", "Roaming", "Microsoft",
                        "Windows", "Start Menu", "Programs", SHORTCUT)


def expect_removed(p, baseline, settings):
    """After msiexec /x: no program file, registration or loader value is left."""
    folder = p.unix(p.install_dir)
    left = sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files) if os.path.isdir(folder) else []
    check(all(os.path.basename(f) == "qsStow.log" for f in left), "files left: %r" % left)
    check(left or not os.path.exists(folder), "the installation folder is removed")
    check(not os.path.exists(shortcut_path(p)), "shortcut removed")
    check(p.products() == [], "no installed program left")
    expect_entries(added(baseline, p.classes_and_loader()), settings,
                   "Entries left after uninstalling, and the user's settings,")


# ---- cases ---------------------------------------------------------------------------------


def case_registration():
    """The package writes exactly the rows of the DLL's own per-user registration.

    The package is installed, then removed; then the installed 64-bit DLL is
    put back in its place and registered with regsvr32 /n /i:user. Both leave
    the same entries below HKCU\\Software\\Classes and in the settings key,
    except for two rows regsvr32 of the 64-bit DLL cannot write: the type
    library's win32 entry for the 32-bit DLL, and HELPDIR, which the package
    writes as a Windows Installer folder, with a trailing backslash.
    """
    p = Prefix("registration")
    try:
        baseline = p.classes_and_loader()
        check(p.msiexec("/i", MSI) == 0, "install")
        installed = added(baseline, p.classes_and_loader())
        check(p.msiexec("/x", MSI) == 0, "uninstall")
        expect_removed(p, baseline, {})

        x64 = p.install_dir + "\\x64"
        os.makedirs(p.unix(x64))
        shutil.copy(os.path.join(BIN, "qsStow.dll"), p.unix(x64 + "\\qsStow.dll"))
        p.wine("regsvr32", "/s", "/n", "/i:user", x64 + "\\qsStow.dll")
        registered = added(baseline, p.classes_and_loader())

        typelib = [k for (k, n) in registered if k.endswith("\\0\\win64") and n is None]
        check(len(typelib) == 1, "one win64 type-library key: %r" % typelib)
        win32 = typelib[0][:-len("win64")] + "win32"
        helpdir = typelib[0][:-len("\\0\\win64")] + "\\HELPDIR"
        check(registered.get((helpdir, "")) == reg_text(x64), "regsvr32's HELPDIR")
        expected = dict(registered)
        expected[(win32, None)] = ""
        expected[(win32, "")] = reg_text(p.install_dir + "\\x86\\qsStow.dll")
        expected[(helpdir, "")] = reg_text(x64 + "\\")
        expect_entries(installed, expected, "Entries the package wrote and the DLL's own")
        check(any("\\CLSID\\{" in k and "\\InprocServer32" in k for (k, n) in installed), installed)
    finally:
        p.stop()


def case_package_views():
    """Each build's class rows are meant for the registry view of its architecture.

    Wine keeps one HKCU\\Software\\Classes for both views (Windows keeps CLSID
    and Interface apart), so this reads the package's own tables: the 32-bit
    component's rows are the 64-bit component's with its own folder and
    win32, and only the 64-bit components carry the 64-bit attribute.
    """
    p = Prefix("package-views")
    try:
        rows = p.wine("cscript", "//nologo", windows_path(os.path.join(ROOT, "tests", "installer",
                                                                       "registry_rows.vbs")),
                      windows_path(MSI)).stdout.decode("utf-8").splitlines()
        by_component = {}
        for line in rows:
            component, attributes, root, key, name, value = line.split("|")
            check(root == "1", "every row below HKEY_CURRENT_USER: %r" % line)
            by_component.setdefault((component, int(attributes) & 256 != 0), set()).add(
                (key, name, value))
        components = sorted(by_component)
        check(components == [("AddinLoader", True), ("AddinSharedClasses", True),
                             ("Addin_x64", True), ("Addin_x86", False)], components)
        x64 = by_component[("Addin_x64", True)]
        x86 = by_component[("Addin_x86", False)]
        as_x86 = {(k.replace("\\0\\win64", "\\0\\win32"), n, v.replace("[X64DIR]", "[X86DIR]"))
                  for (k, n, v) in x64}
        check(x86 == as_x86, "32-bit rows %r\n  differ from the 64-bit ones %r" % (
            sorted(x86 ^ as_x86), sorted(x64)))
        check(any(v == "[X64DIR]qsStow.dll" for (_, _, v) in x64), "64-bit rows name the x64 folder")
        view_bound = [k for (k, _, _) in by_component[("AddinSharedClasses", True)]
                      if re.match(r"Software\\Classes\\(CLSID|Interface)\\", k)]
        check(view_bound == [], "shared rows hold no key of one view: %r" % view_bound)
    finally:
        p.stop()


def case_archive():
    """Install, archive through the installed 64-bit add-in, uninstall."""
    p = Prefix("archive")
    try:
        baseline_settings = p.export(ADDIN_KEY)
        baseline = p.classes_and_loader()
        check(p.msiexec("/i", MSI) == 0, "install")
        expect_installed(p)
        installed = added(baseline, p.export(CLASSES))
        check(installed, "classes written below HKEY_CURRENT_USER")
        check(baseline_settings == {}, "no settings key before installing")

        out_folder = os.path.join(p.dir, "Archive", "Sent")
        in_folder = os.path.join(p.dir, "Archive", "Received")
        os.makedirs(out_folder)
        os.makedirs(in_folder)
        p.write_settings(windows_path(in_folder), windows_path(out_folder) + "\\")
        settings = settings_only(added(baseline, p.export(ADDIN_KEY)))
        check(len(settings) == 6, "five settings in the settings key: %r" % settings)

        # Wine does not merge HKCU\Software\Classes into HKEY_CLASSES_ROOT (Wine
        # bug 14771), so a class registered per user is not found by ProgID
        # there, as it is on Windows. The host finds the add-in once the
        # installed rows are copied to HKLM\Software\Classes; the package itself
        # wrote them below HKEY_CURRENT_USER (checked above).
        lines = ["Windows Registry Editor Version 5.00", ""]
        for (key, name), data in sorted(installed.items(), key=lambda e: (e[0][0], e[0][1] or "")):
            machine_key = key.replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", 1)
            if name is None:
                lines += ["", "[%s]" % machine_key]
            else:
                lines.append("%s=%s" % ("@" if name == "" else '"%s"' % name, data))
        machine = os.path.join(p.dir, "machine.reg")
        with open(machine, "w", encoding="utf-16") as f:
            f.write("\r\n".join(lines) + "\r\n")
        p.wine("regedit", "/S", windows_path(machine))
        p.wine("regsvr32", "/s", windows_path(os.path.join(BIN, "qsMapiLib.dll")))

        host = p.wine(os.path.join(BIN, "outlook-standin.exe"),
                      stdin="send Quarterly figures: Q3/2026\nreceive Welcome aboard\n".encode())
        out = host.stdout.decode("utf-8").splitlines()
        check(out == ["connected qsStow.Addin", "sent", "received", "disconnected", "live objects: 0"],
              "host transcript %r" % out)
        sent = os.listdir(out_folder)
        received = os.listdir(in_folder)
        check(len(sent) == 1 and re.fullmatch(r"\d{8} \d{6} - Quarterly figures Q32026\.msg", sent[0]),
              "sent archive %r" % sent)
        check(len(received) == 1 and received[0].endswith(" - Welcome aboard.msg"), received)
        eml = os.path.join(p.dir, "sent.eml")
        subprocess.run(["msgconvert", "--outfile", eml, os.path.join(out_folder, sent[0])],
                       check=True, capture_output=True)
        with open(eml, "rb") as f:
            check(b"\nSubject: Quarterly figures: Q3/2026" in f.read().replace(b"\r\n", b"\n"),
                  "msgconvert reads the subject")
        log = p.unix(p.install_dir + "\\x64\\qsStow.log")
        with open(log, "rb") as f:
            check(b"Addin loaded. Version 1.1 Build 34\r\n" in f.read(), "the installed DLL's log")

        check(p.msiexec("/x", MSI) == 0, "uninstall")
        expect_removed(p, baseline, settings)
        check(os.listdir(out_folder) == sent and os.listdir(in_folder) == received,
              "archive files kept")
    finally:
        p.stop()


def case_upgrade():
    """From a lower version, over itself, a rebuild of itself; never backwards."""
    p = Prefix("upgrade")
    try:
        older = os.path.join(p.dir, "Quillstow-%s.msi" % OLDER)
        rebuilt = os.path.join(p.dir, "Quillstow-%s-rebuilt.msi" % VERSION)
        for version, output in [(OLDER, older), (VERSION, rebuilt)]:
            subprocess.run(["bash", os.path.join(ROOT, "installer", "build-msi"), "--version", version,
                            "--output", output], check=True, capture_output=True)
        baseline = p.classes_and_loader()

        check(p.msiexec("/i", older) == 0, "install " + OLDER)
        expect_installed(p, OLDER)
        p.write_settings(r"C:\Archive\In", r"C:\Archive\Out", logging=0)
        settings = settings_only(added(baseline, p.export(ADDIN_KEY)))
        registered = added(baseline, p.classes_and_loader())

        check(p.msiexec("/i", MSI) == 0, "upgrade to " + VERSION)
        expect_installed(p)
        expect_entries(added(baseline, p.classes_and_loader()), registered,
                       "Entries after the upgrade and before it")

        check(p.msiexec("/i", MSI) == 0, "install %s again" % VERSION)
        expect_installed(p)
        check(p.msiexec("/i", rebuilt) == 0, "install a rebuild of " + VERSION)
        expect_installed(p)

        check(p.msiexec("/i", older) != 0, "%s refuses to replace %s" % (OLDER, VERSION))
        expect_installed(p)

        check(p.msiexec("/x", rebuilt) == 0, "uninstall")
        expect_removed(p, baseline, settings)
    finally:
        p.stop()


CASES = {name[5:].replace("_", "-"): f for name, f in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    CASES[CASE]()
    print("ok", CASE)
