#!/usr/bin/env python3
"""Installs the build tree as a user would, and runs what was installed.

  destdir  `cmake --install` into a temporary DESTDIR with the prefix /usr: the programs, the
           code list and the man pages land where they belong, and the installed hydrochart,
           run in an empty folder, names its pages from the installed code list (a list in the
           working folder or beside the program still comes first)
  debian   `cpack -G DEB`: the package's file list and fields (dependencies from
           dpkg-shlibdeps, libzip and libcurl among them), and its programs run from the
           unpacked tree

Usage: run_install.py BUILD_DIR [GROUP...]
"""
import os
import re
import subprocess
import sys

from w05e2e.checks import Suite
from w05e2e.files import read, write
from w05e2e.w05data import code_list_text, w05_text

suite = Suite("w05-install-")
check, equal = suite.checks.check, suite.checks.equal
BUILD = ""
SOURCE = os.environ.get("W05_SOURCE_DIR", "")
VERSION = os.environ.get("W05_VERSION", "")
ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
# The files an installation holds below its prefix.
INSTALLED = ["bin/hydrochart", "bin/fetchunpack", "share/hydrochart/WaterSystemCodeCd.xml",
             "share/man/man1/hydrochart.1", "share/man/man1/fetchunpack.1"]
SYSTEMS = [(830305, 2, 3, "多摩川"), (830303, 1, 2, "利根川")]


def take_build(path):
    global BUILD
    BUILD = path


def run(command, cwd, **extra):
    return subprocess.run(command, cwd=cwd, env=dict(ENV, **extra), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)


def code_list_rows():
    """The (code, label) rows of the code list the installation ships."""
    with open(os.path.join(SOURCE, "data", "WaterSystemCodeCd.csv"), encoding="utf-8") as f:
        return [line.rstrip("\n").split(",") for line in f][1:]


def install(tmp):
    """Installs the build tree below tmp/root and returns the prefix folder in it."""
    root = os.path.join(tmp, "root")
    done = run(["cmake", "--install", BUILD, "--prefix", "/usr"], tmp, DESTDIR=root)
    check("cmake --install succeeds", done.returncode == 0, done.stderr.decode(errors="replace"))
    return root + "/usr"


def pages_of_installed_program(tmp, program):
    """Runs `program` on a data file of two water systems in a working folder (empty unless the
    test put a code list there); returns its standard output, the names of the pages it wrote
    and their folder."""
    data = os.path.join(tmp, "data", "W05-09_13-g.xml")
    write(data, w05_text(SYSTEMS))
    empty = os.path.join(tmp, "work")
    os.makedirs(empty, exist_ok=True)
    before = os.listdir(empty)
    done = run([program, data, "*"], empty)
    equal("exit status", done.returncode, 0)
    equal("nothing is written into the working folder", os.listdir(empty), before)
    folder = os.path.join(tmp, "data", "W05-09_13-g_html")
    pages = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    return done.stdout.decode("utf-8", "replace"), pages, folder


@suite.group("destdir")
def installs_what_a_user_needs(tmp):
    prefix = install(tmp)
    for rel in INSTALLED:
        check(f"{rel} is installed", os.path.isfile(os.path.join(prefix, rel)))
    for program in ("hydrochart", "fetchunpack"):
        check(f"{program} is executable", os.access(os.path.join(prefix, "bin", program), os.X_OK))
        equal(f"{program}.1 is the man page", read(os.path.join(prefix, "share/man/man1", program + ".1")),
              read(os.path.join(SOURCE, "docs", program + ".1")))
    listed = read(os.path.join(prefix, "share/hydrochart/WaterSystemCodeCd.xml")).decode("utf-8")
    rows = code_list_rows()
    equal("the code list holds every row of the CSV", listed.count("<codelabel "), len(rows))
    check("the code list names 多摩川", '<codelabel label="多摩川" code="830305" />' in listed)


@suite.group("destdir")
def installed_program_names_pages_from_the_installed_list(tmp):
    prefix = install(tmp)
    stdout, pages, folder = pages_of_installed_program(tmp, os.path.join(prefix, "bin", "hydrochart"))
    line = '*WaterSystemCodeList was extracted from "%s/share/hydrochart/WaterSystemCodeCd.xml" ' \
           "CodePage=65001 nws=%d\n" % (prefix, len(code_list_rows()))
    check("the installed code list is read", line in stdout, stdout)
    equal("pages are named after the water systems", pages, ["830303_利根川.htm", "830305_多摩川.htm"])
    if "830305_多摩川.htm" in pages:
        page = read(os.path.join(folder, "830305_多摩川.htm")).decode("utf-8")
        check("the page title names the water system", "<title>830305 多摩川</title>" in page)


@suite.group("destdir")
def working_folder_and_program_folder_come_first(tmp):
    prefix = install(tmp)
    program = os.path.join(prefix, "bin", "hydrochart")
    write(os.path.join(tmp, "work", "WaterSystemCodeCd.xml"), code_list_text([(830305, "作業川")]))
    stdout, pages, _ = pages_of_installed_program(tmp, program)
    check("a list in the working folder comes first", "830305_作業川.htm" in pages, stdout)
    os.remove(os.path.join(tmp, "work", "WaterSystemCodeCd.xml"))
    write(os.path.join(prefix, "bin", "WaterSystemCodeCd.xml"), code_list_text([(830305, "隣川")]))
    stdout, pages, _ = pages_of_installed_program(tmp, program)
    check("a list beside the program comes next", "830305_隣川.htm" in pages, stdout)


def build_package(tmp):
    """Makes the Debian package into tmp/package and returns its path, or "" when it failed."""
    out = os.path.join(tmp, "package")
    done = run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                "-B", out], tmp)
    check("cpack -G DEB succeeds", done.returncode == 0,
          (done.stdout + done.stderr).decode(errors="replace"))
    arch = subprocess.run(["dpkg", "--print-architecture"], stdout=subprocess.PIPE,
                          text=True).stdout.strip()
    name = f"hydrochart_{VERSION}_{arch}.deb"
    made = sorted(f for f in os.listdir(out) if f.endswith(".deb")) if os.path.isdir(out) else []
    equal("one package, named as Debian names it", made, [name])
    return os.path.join(out, name) if made == [name] else ""


@suite.group("debian")
def package_holds_the_installation_and_its_dependencies(tmp):
    package = build_package(tmp)
    if not package:
        return
    listing = subprocess.run(["dpkg-deb", "-c", package], stdout=subprocess.PIPE, text=True).stdout
    entries = {}
    for line in listing.splitlines():
        fields = line.split(None, 5)
        entries[fields[5].split(" -> ")[0].rstrip("/")] = (fields[0], fields[1])
    files = sorted(path for path, (mode, _) in entries.items() if not mode.startswith("d"))
    equal("the files of the package", files, sorted("./usr/" + rel for rel in INSTALLED))
    for path, (mode, owner) in entries.items():
        check(f"{path} belongs to root", owner == "root/root", owner)
        check(f"{path} lies below /usr", path == "." or path.startswith("./usr"), path)
    for program in ("hydrochart", "fetchunpack"):
        equal(f"{program} is executable", entries.get("./usr/bin/" + program, ("",))[0], "-rwxr-xr-x")

    def field(name):
        return subprocess.run(["dpkg-deb", "-f", package, name], stdout=subprocess.PIPE,
                              text=True).stdout.strip()

    equal("Package", field("Package"), "hydrochart")
    equal("Version", field("Version"), VERSION)
    depends = [d.strip().split(" ")[0] for d in field("Depends").split(",")]
    for library in (r"libzip\d+", r"libcurl\d+(-gnutls|-nss)?", r"libc6", r"libstdc\+\+6"):
        check(f"depends on {library}", any(re.fullmatch(library, d) for d in depends), depends)
    check("a maintainer", field("Maintainer") != "")


@suite.group("debian")
def unpacked_package_runs_with_its_code_list(tmp):
    package = build_package(tmp)
    if not package:
        return
    tree = os.path.join(tmp, "tree")
    done = run(["dpkg-deb", "-x", package, tree], tmp)
    equal("dpkg-deb -x", done.returncode, 0)
    stdout, pages, _ = pages_of_installed_program(tmp, os.path.join(tree, "usr", "bin", "hydrochart"))
    check("the packaged code list is read",
          f'extracted from "{tree}/usr/share/hydrochart/WaterSystemCodeCd.xml"' in stdout, stdout)
    equal("pages are named after the water systems", pages, ["830303_利根川.htm", "830305_多摩川.htm"])
    done = run([os.path.join(tree, "usr", "bin", "fetchunpack"), "--version"], tmp)
    equal("fetchunpack runs", (done.returncode, done.stdout.decode().split(" ")[0]), (0, "fetchunpack"))


if __name__ == "__main__":
    sys.exit(suite.main(__doc__, take_build))
