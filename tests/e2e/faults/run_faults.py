#!/usr/bin/env python3
"""Fault tests of hydrochart: full disks, failing writes, folders that cannot be written and
data files that vanish or are cut short while a run goes on.

usage: run_faults.py HYDROCHART GROUP [GEN_W05]

GROUP is one of:
  disk-full   a file-size limit in the child process (RLIMIT_FSIZE) while pages, the index page
              and the code-label file are written. The child starts with the default action of
              SIGXFSZ, which ends a process silently: hydrochart must ignore the signal itself,
              so that the write beyond the limit fails with EFBIG and is reported
  dev-full    the output file is a symbolic link to /dev/full, so every write fails (ENOSPC)
  unwritable  output paths that cannot be created: under /proc or /sys, below a regular file,
              an output name that is a folder
  vanishing   a data file that vanished after the batch search (a dangling link), data files
              and code lists cut in the middle of an element
  inputs      output paths that name the data file or the code list being read, under another
              spelling, through a symbolic link or a hard link

GEN_W05, when given, is the data generator; the disk-full group then also runs on one of its
larger files.

Every check prints one line ("ok ..." or "FAIL ..." with the reasons), and the last line is
"N passed, M failed". The exit status is 1 when any check failed.

Every failed run must end with status 1 and its error line, print no success line, leave no
sanitizer report and no crash, and leave the data files, the code list and the pages of other
water systems exactly as they were.
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

from w05e2e.files import digest_tree, read as read_file, write as write_file
from w05e2e.w05data import code_list_text, w05_text

# Lines that a run prints only when it succeeded.
SUCCESS_MARKERS = (b"successfully generated", b"was processed.", b"was generated.",
                   b" and processed. Pref=")
PAGE_END = b"</script>\n</body></html>\n"
BANNER = b"**** hydrochart **** cp=65001\n"


class Suite:
    def __init__(self, binary):
        self.binary = binary
        self.passed = 0
        self.failed = 0

    def run(self, args, cwd, fsize=None):
        def limit():
            # The default action, whatever this process inherited: a program that leaves it
            # in place is killed by the first write beyond the limit, and the check sees that.
            signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))

        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        try:
            return subprocess.run([self.binary] + args, cwd=cwd, env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=120,
                                  preexec_fn=limit if fsize is not None else None)
        except subprocess.TimeoutExpired as expired:
            return subprocess.CompletedProcess(args, -999, expired.stdout or b"",
                                               expired.stderr or b"")

    def report(self, name, problems):
        if problems:
            self.failed += 1
            print("FAIL %s" % name)
            for problem in problems:
                print("     " + problem.replace("\n", "\n     "))
        else:
            self.passed += 1
            print("ok   %s" % name)
        sys.stdout.flush()

    @staticmethod
    def sound_run(run):
        """Problems every run must be free of: a crash, a hang, a sanitizer report."""
        problems = []
        if run.returncode == -999:
            problems.append("did not finish within 120 seconds")
        elif run.returncode < 0:
            problems.append("killed by signal %d" % -run.returncode)
        if b"Sanitizer" in run.stderr or b"runtime error" in run.stderr:
            problems.append("sanitizer report:\n" + run.stderr.decode("utf-8", "replace"))
        return problems

    def expect_failure(self, name, args, cwd, error_line, fsize=None, kept=(), unchanged=None,
                       also=None, markers=SUCCESS_MARKERS):
        """Runs a case that must fail: status 1, standard output ending in `error_line`, no
        success line (of `markers`). `kept` lists paths (relative to cwd) whose bytes must not
        change; `unchanged` is a root folder whose files, other than the run's own output, must all
        stay; `also` gets the run and returns further problems."""
        before = {path: read_file(os.path.join(cwd, path)) for path in kept}
        tree_before = digest_tree(unchanged[0], unchanged[1]) if unchanged else None
        run = self.run(args, cwd, fsize)
        problems = self.sound_run(run)
        if run.returncode != 1:
            problems.append("exit status %d, expected 1" % run.returncode)
        if not run.stdout.endswith(error_line.encode("utf-8")):
            problems.append("standard output does not end in %r:\n%s" % (
                error_line, run.stdout.decode("utf-8", "replace")))
        for marker in markers:
            if marker in run.stdout:
                problems.append("a success line after a failure: %r" % marker.decode())
        for path, content in before.items():
            full = os.path.join(cwd, path)
            if not os.path.isfile(full) or read_file(full) != content:
                problems.append("%s changed or vanished" % path)
        if tree_before is not None:
            tree_after = digest_tree(unchanged[0], unchanged[1])
            for rel, digest in tree_before.items():
                if tree_after.get(rel) != digest:
                    problems.append("%s was changed or removed by a failed run" % rel)
        if also:
            try:
                problems.extend(also(run))
            except OSError as error:
                problems.append(str(error))
        self.report(name, problems)
        return run


def workdir(name):
    return tempfile.mkdtemp(prefix="hydrochart-faults-%s-" % name)


# Water systems of the tests: a small one (a page of a few kilobytes), a large one (a page of
# a few hundred kilobytes) and another small one after it.
SMALL_FIRST = [(100001, 1, 2, "小川"), (100002, 400, 40, "大川"), (100003, 1, 2, "末川")]
CODE_LIST = [(100001, "小川"), (100002, "大川"), (100003, "末川")]


def setup_data(cwd, systems=SMALL_FIRST, name="W05-01_13-g.xml", code_list=True):
    write_file(os.path.join(cwd, name), w05_text(systems))
    if code_list:
        write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), code_list_text(CODE_LIST))
    return [name] + (["WaterSystemCodeCd.xml"] if code_list else [])


def page_is_whole(path):
    return os.path.isfile(path) and read_file(path).endswith(PAGE_END)


def partial_page(path, limit):
    """Problems of a page that must stay as far as it was written, up to the size limit."""
    page = read_file(path)
    problems = [] if page.startswith(b"<!DOCTYPE html>\n") else ["the page lost its head"]
    if len(page) > limit or page.endswith(PAGE_END):
        problems.append("the page has %d bytes, the limit is %d" % (len(page), limit))
    return problems


def index_setup(cwd, pages_per_folder=40):
    """Base folder "maps" with two output folders full of pages, for the index page."""
    for folder in ("W05-09_13-g_html", "W05-09_14-g_html"):
        for n in range(pages_per_folder):
            write_file(os.path.join(cwd, "maps", folder, "%06d_水系名%d.htm" % (130000 + n, n)),
                       b"<!DOCTYPE html>\n")
    return "maps"


def group_disk_full(suite, gen_w05):
    limit = 64 * 1024

    cwd = workdir("page")
    kept = setup_data(cwd)
    suite.expect_failure(
        "disk-full: page larger than the file-size limit", [
            "W05-01_13-g.xml", "page.htm", "title", "100002"], cwd,
        '** Error: Output file "page.htm" not created.\n', fsize=limit, kept=kept)

    # A page of several megabytes is handed to the file in blocks while it is drawn, so the
    # write fails in the middle of the drawing, not only when the page is closed.
    cwd = workdir("bigpage")
    kept = setup_data(cwd, [(100001, 1500, 60, "大川")])
    block_limit = 1024 * 1024 + 4096
    suite.expect_failure(
        "disk-full: page fails between blocks while drawing", [
            "W05-01_13-g.xml", "page.htm", "title", "100001", "1000010002/ff0000"], cwd,
        '** Error: Output file "page.htm" not created.\n', fsize=block_limit, kept=kept,
        also=lambda run: partial_page(os.path.join(cwd, "page.htm"), block_limit))

    # Every water system: the first page fits, the second does not. The run stops there, the
    # finished page stays whole, and a page of another run stays untouched.
    cwd = workdir("allpages")
    kept = setup_data(cwd)
    folder = os.path.join(cwd, "W05-01_13-g_html")
    write_file(os.path.join(folder, "100003_末川.htm"), b"page of an earlier run\n")
    write_file(os.path.join(folder, "200000_古い.htm"), b"page of a water system gone\n")
    suite.expect_failure(
        "disk-full: every-water-system pages stop at the page that does not fit",
        ["W05-01_13-g.xml", "*"], cwd,
        "100001(1) 100002** Error: html file could not created. 100002\n", fsize=limit,
        kept=kept + ["W05-01_13-g_html/100003_末川.htm", "W05-01_13-g_html/200000_古い.htm"],
        also=lambda run: [] if page_is_whole(os.path.join(folder, "100001_小川.htm"))
        else ["the page written before the failure is not whole"])

    # A batch: the first file is processed, the second fails; the first file's pages stay.
    cwd = workdir("batch")
    write_file(os.path.join(cwd, "data", "W05-01_13-g.xml"), w05_text([(100001, 3, 5, "小川")]))
    write_file(os.path.join(cwd, "data", "W05-01_14-g.xml"), w05_text(SMALL_FIRST))
    write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), code_list_text(CODE_LIST))
    suite.expect_failure(
        "disk-full: batch stops at the file whose page does not fit",
        ["data/W05-*.xml"], cwd,
        "100001(1) 100002** Error: html file could not created. 100002\n", fsize=limit,
        kept=["data/W05-01_13-g.xml", "data/W05-01_14-g.xml", "WaterSystemCodeCd.xml"],
        markers=[m for m in SUCCESS_MARKERS if m != b"was processed."],
        also=lambda run: ([] if run.stdout.count(b"was processed.") == 1 and
                          b"data/W05-01_13-g.xml was processed.\n" in run.stdout
                          else ["not exactly the first file reported as processed"]) + (
            [] if page_is_whole(os.path.join(cwd, "data/W05-01_13-g_html/100001_小川.htm"))
            else ["the first file's page is not whole"]) + (
            [] if not os.path.exists(os.path.join(cwd, "data/W05-01_14-g_html/100003_末川.htm"))
            else ["a page after the failure was written"]))

    # The index is written beside the old one and put in place only when whole: the old index
    # stays, and no temporary file is left.
    cwd = workdir("index")
    base = index_setup(cwd)
    write_file(os.path.join(cwd, base, "index.html"), b"index of an earlier run\n")
    suite.expect_failure(
        "disk-full: index page larger than the limit", ["create_index", base], cwd,
        '** Error: "maps/index.html" could not be created.\n', fsize=2048,
        unchanged=(cwd, set()),
        also=lambda run: ["temporary file left: %s" % name
                          for name in os.listdir(os.path.join(cwd, base))
                          if name.startswith(".index.html")])

    cwd = workdir("codelabel")
    entries = [(300000 + n, "水系名%d" % n) for n in range(200)]
    write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), code_list_text(entries))
    suite.expect_failure(
        "disk-full: code-label file larger than the limit", ["ws_codelabel", "labels.txt"], cwd,
        "** Error: Code Label file not created.\n", fsize=4096, kept=["WaterSystemCodeCd.xml"])

    if gen_w05:
        cwd = workdir("generated")
        subprocess.run([gen_w05, "--streams", "3000", "--water-systems", "4", "--out",
                        "W05-01_13-g.xml"], cwd=cwd, check=True, stdout=subprocess.DEVNULL)
        suite.expect_failure(
            "disk-full: generated data, every-water-system pages", ["W05-01_13-g.xml", "*"], cwd,
            "** Error: html file could not created. 810001\n", fsize=limit,
            kept=["W05-01_13-g.xml"])
        suite.expect_failure(
            "disk-full: generated data, one page", ["W05-01_13-g.xml", "all.htm", "t",
                                                     "810001", "810002", "810003", "810004"],
            cwd, '** Error: Output file "all.htm" not created.\n', fsize=limit,
            kept=["W05-01_13-g.xml"])


def group_dev_full(suite):
    if not os.path.exists("/dev/full"):
        print("skipped: this system has no /dev/full")
        return
    cwd = workdir("page")
    kept = setup_data(cwd)
    os.symlink("/dev/full", os.path.join(cwd, "page.htm"))
    suite.expect_failure(
        "dev-full: page", ["W05-01_13-g.xml", "page.htm", "title", "100001"], cwd,
        '** Error: Output file "page.htm" not created.\n', kept=kept)
    suite.expect_failure(
        "dev-full: page without rivers", ["W05-01_13-g.xml", "page.htm"], cwd,
        '** Error: Output file "page.htm" not created.\n', kept=kept)

    # The third page goes to /dev/full: the first two stay whole, the run ends at the third.
    cwd = workdir("allpages")
    kept = setup_data(cwd)
    folder = os.path.join(cwd, "W05-01_13-g_html")
    os.makedirs(folder)
    os.symlink("/dev/full", os.path.join(folder, "100003_末川.htm"))
    suite.expect_failure(
        "dev-full: every-water-system pages", ["W05-01_13-g.xml", "*"], cwd,
        "100001(1) 100002(400) 100003** Error: html file could not created. 100003\n",
        kept=kept, also=lambda run: [
            "%s is not whole" % name for name in ("100001_小川.htm", "100002_大川.htm")
            if not page_is_whole(os.path.join(folder, name))])

    # Without a code list the page is named after the main river; the same failure in a batch.
    cwd = workdir("batch")
    kept = setup_data(cwd, code_list=False)
    folder = os.path.join(cwd, "W05-01_13-g_html")
    os.makedirs(folder)
    os.symlink("/dev/full", os.path.join(folder, "100001_小川.htm"))
    suite.expect_failure(
        "dev-full: batch", ["W05-*.xml"], cwd,
        "100001** Error: html file could not created. 100001\n", kept=kept,
        also=lambda run: [] if not os.path.exists(os.path.join(folder, "100002_大川.htm"))
        else ["a page after the failure was written"])

    cwd = workdir("index")
    base = index_setup(cwd, pages_per_folder=3)
    os.symlink("/dev/full", os.path.join(cwd, base, "index.html"))
    suite.expect_failure(
        "dev-full: index page", ["create_index", base], cwd,
        '** Error: "maps/index.html" could not be created.\n', unchanged=(cwd, set()))

    cwd = workdir("codelabel")
    write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), code_list_text(CODE_LIST))
    os.symlink("/dev/full", os.path.join(cwd, "labels.txt"))
    suite.expect_failure(
        "dev-full: code-label file", ["ws_codelabel", "labels.txt"], cwd,
        "** Error: Code Label file not created.\n", kept=["WaterSystemCodeCd.xml"])
    os.symlink("/dev/full", os.path.join(cwd, "ws_codelabel.txt"))
    suite.expect_failure(
        "dev-full: code-label file of the default name", ["ws_codelabel"], cwd,
        "** Error: Code Label file not created.\n", kept=["WaterSystemCodeCd.xml"])


def group_unwritable(suite):
    cwd = workdir("unwritable")
    kept = setup_data(cwd)
    write_file(os.path.join(cwd, "file.txt"), b"a plain file\n")
    os.makedirs(os.path.join(cwd, "folder.htm"))
    kept.append("file.txt")
    for page in ("/proc/hydrochart-test.htm", "/sys/hydrochart-test.htm", "file.txt/page.htm",
                 "folder.htm", "missing/page.htm"):
        suite.expect_failure(
            "unwritable: page %s" % page, ["W05-01_13-g.xml", page, "title", "100001"], cwd,
            '** Error: Output file "%s" not created.\n' % page, kept=kept,
            also=lambda run, page=page: [] if page.startswith("/") or not os.path.isfile(
                os.path.join(cwd, page)) else ["a page was written"])

    for labels in ("/proc/hydrochart-test.txt", "/sys/hydrochart-test.txt", "file.txt/labels.txt",
                   "folder.htm"):
        suite.expect_failure(
            "unwritable: code-label file %s" % labels, ["ws_codelabel", labels], cwd,
            "** Error: Code Label file not created.\n", kept=kept)

    # An index file name taken by a folder, and a base folder that is a plain file.
    base = index_setup(cwd, pages_per_folder=2)
    os.makedirs(os.path.join(cwd, base, "index.html"))
    suite.expect_failure(
        "unwritable: index file name taken by a folder", ["create_index", base], cwd,
        '** Error: "maps/index.html" could not be created.\n', unchanged=(cwd, set()))
    suite.expect_failure(
        "unwritable: index base folder that is a plain file", ["create_index", "file.txt"], cwd,
        '** Error: Folder "file.txt" not exists.\n', unchanged=(cwd, set()))

    # The output folder of every-water-system pages cannot be made (its name is taken by a
    # plain file): each page reports its error line and is skipped, as a page that cannot be
    # created always is, so the run ends with status 0 and the file stays.
    cwd = workdir("folder")
    kept = setup_data(cwd)
    write_file(os.path.join(cwd, "W05-01_13-g_html"), b"not a folder\n")
    kept.append("W05-01_13-g_html")
    before = {path: read_file(os.path.join(cwd, path)) for path in kept}
    run = suite.run(["W05-01_13-g.xml", "*"], cwd)
    problems = suite.sound_run(run)
    expected = "".join("** Error: html file could not created. %06d\n" % code
                       for code in (100001, 100002, 100003)).encode()
    if run.returncode != 0:
        problems.append("exit status %d, expected 0" % run.returncode)
    if not run.stdout.endswith(expected):
        problems.append("unexpected output:\n" + run.stdout.decode("utf-8", "replace"))
    problems += ["%s changed" % p for p in kept if read_file(os.path.join(cwd, p)) != before[p]]
    suite.report("unwritable: output folder name taken by a plain file", problems)


def group_vanishing(suite):
    # A batch over three names, the second a link whose file vanished after the search, and a
    # folder that matches the pattern: the link and the folder are skipped silently.
    cwd = workdir("batch")
    small = w05_text([(100001, 2, 3, "小川")])
    write_file(os.path.join(cwd, "data", "W05-01_01-g.xml"), small)
    os.symlink("W05-gone.xml", os.path.join(cwd, "data", "W05-01_02-g.xml"))
    write_file(os.path.join(cwd, "data", "W05-01_03-g.xml"), small)
    os.makedirs(os.path.join(cwd, "data", "W05-01_04-g.xml"))
    for pattern, prefix in (("data/W05-*.xml", "data/"), ("W05-*.xml", "")):
        run = suite.run([pattern], os.path.join(cwd, "data") if not prefix else cwd)
        problems = suite.sound_run(run)
        if run.returncode != 0:
            problems.append("exit status %d, expected 0" % run.returncode)
        for n in (1, 3):
            if b"%sW05-01_0%d-g.xml was processed.\n" % (prefix.encode(), n) not in run.stdout:
                problems.append("file %d was not processed" % n)
            if not page_is_whole(os.path.join(cwd, "data", "W05-01_0%d-g_html" % n,
                                              "100001_小川.htm")):
                problems.append("page of file %d missing" % n)
        if b"W05-01_02" in run.stdout or b"W05-01_04" in run.stdout or b"Error" in run.stdout:
            problems.append("the vanished file or the folder was reported:\n"
                            + run.stdout.decode("utf-8", "replace"))
        if os.path.exists(os.path.join(cwd, "data", "W05-01_02-g_html")):
            problems.append("an output folder was made for the vanished file")
        suite.report("vanishing: batch %s skips a vanished file" % pattern, problems)

    # Only vanished files: nothing to do, yet the pattern matched, so status 0 and no message.
    cwd = workdir("onlygone")
    os.symlink("W05-gone.xml", os.path.join(cwd, "W05-01_02-g.xml"))
    run = suite.run(["W05-*.xml"], cwd)
    problems = suite.sound_run(run)
    if run.returncode != 0 or run.stdout != BANNER:
        problems.append("status %d, output %r" % (run.returncode, run.stdout))
    suite.report("vanishing: batch whose only match vanished", problems)

    # A single data file that vanished is an error in the page modes.
    for args in (["W05-01_02-g.xml", "page.htm"], ["W05-01_02-g.xml", "*"]):
        suite.expect_failure(
            "vanishing: %s with a vanished data file" % " ".join(args), args, cwd,
            '** Error: River data file "W05-01_02-g.xml" not found.\n',
            also=lambda run: [] if not os.path.exists(os.path.join(cwd, "page.htm"))
            else ["a page was written"])

    # An output folder that vanished after the index search (a dangling link) is left out.
    cwd = workdir("index")
    base = index_setup(cwd, pages_per_folder=2)
    os.symlink("W05-gone", os.path.join(cwd, base, "W05-09_01-g_html"))
    run = suite.run(["create_index", base], cwd)
    problems = suite.sound_run(run)
    if run.returncode != 0 or not run.stdout.endswith(
            b'"maps/index.html" was created and processed. Pref=2 WS=4\n'):
        problems.append("status %d:\n%s" % (run.returncode, run.stdout.decode("utf-8", "replace")))
    suite.report("vanishing: index over a vanished output folder", problems)

    # A file cut in the middle of an element loads what it holds: no crash, an outcome line.
    cut_files(suite)


def group_inputs(suite):
    """A run never overwrites what it reads: an output path that is the data file or the code
    list (the same file, however it is named) gets the output's error line, status 1, and the
    input stays byte for byte."""
    cwd = workdir("inputs")
    kept = setup_data(cwd)
    os.symlink("W05-01_13-g.xml", os.path.join(cwd, "data-link.htm"))
    os.link(os.path.join(cwd, "W05-01_13-g.xml"), os.path.join(cwd, "data-hard.htm"))
    os.symlink("WaterSystemCodeCd.xml", os.path.join(cwd, "list-link.htm"))
    os.makedirs(os.path.join(cwd, "sub"))
    for page in ("W05-01_13-g.xml", "./W05-01_13-g.xml", "sub/../W05-01_13-g.xml",
                 os.path.join(cwd, "W05-01_13-g.xml"), "data-link.htm", "data-hard.htm",
                 "WaterSystemCodeCd.xml", "list-link.htm"):
        suite.expect_failure(
            "inputs: page %s" % page, ["W05-01_13-g.xml", page, "title", "100001"], cwd,
            '** Error: Output file "%s" not created.\n' % page, kept=kept,
            also=lambda run, page=page: [] if b"is the " in run.stderr
            else ["no cause on standard error"])

    for labels in ("WaterSystemCodeCd.xml", "./WaterSystemCodeCd.xml", "list-link.htm"):
        suite.expect_failure(
            "inputs: code-label file %s" % labels, ["ws_codelabel", labels], cwd,
            "** Error: Code Label file not created.\n", kept=kept)

    # A page of every-water-system mode that is, through a link, the data file or the code list,
    # among other pages of an earlier run.
    for target, mode, link in (("../W05-01_13-g.xml", ["W05-01_13-g.xml", "*"], os.symlink),
                               ("../WaterSystemCodeCd.xml", ["W05-01_13-g.xml", "*"], os.symlink),
                               ("../W05-01_13-g.xml", ["W05-*.xml"], os.symlink),
                               ("W05-01_13-g.xml", ["W05-01_13-g.xml", "*"], os.link)):
        folder = os.path.join(cwd, "W05-01_13-g_html")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(os.path.join(folder, "100001_小川.htm"), "w") as page:
            page.write("an earlier page\n")
        if link is os.link:
            link(os.path.join(cwd, target), os.path.join(folder, "100002_大川.htm"))
        else:
            link(target, os.path.join(folder, "100002_大川.htm"))
        suite.expect_failure(
            "inputs: %s with a page %s to %s" % (
                " ".join(mode), "hard-linked" if link is os.link else "linked", target), mode, cwd,
            "100001(1) ** Error: html file could not created. 100002\n", kept=kept,
            markers=[m for m in SUCCESS_MARKERS if m != b"was processed."],
            also=lambda run: ([] if b"was processed." not in run.stdout
                              else ["a success line after a failure"]) + (
                [] if not os.path.exists(os.path.join(folder, "100003_末川.htm"))
                else ["a page after the failure was written"]))

    # Ordinary runs beside the inputs are not affected.
    run = suite.run(["W05-01_13-g.xml", "page.htm", "title", "100001"], cwd)
    problems = suite.sound_run(run)
    if run.returncode != 0 or not run.stdout.endswith(b"page.htm successfully generated. (path=1)\n"):
        problems.append("status %d:\n%s" % (run.returncode, run.stdout.decode("utf-8", "replace")))
    suite.report("inputs: a page beside the inputs is written", problems)


def cut_files_of(text):
    """Files that end inside an element, as a file being written or copied may, each with the
    part of the load report that says what was loaded: every record completed before the cut,
    and the one cut short as far as it got."""
    def inside(pattern, offset, nth=0):
        at = -1
        for _ in range(nth + 1):
            at = text.index(pattern, at + 1)
        return at + offset

    name = inside(b"<ksj:riverName>", len(b"<ksj:riverName>"), 7)
    streams = text.index(b"<ksj:Stream ")
    cuts = [
        ("in a number of a position list", inside(b"<gml:posList>\n", 18),
         "pointList=0 Stream=0 Curve=1(maxCv=1) Node=0 Point=0(maxPt=0)"),
        ("in an opening tag", inside(b"<gml:Curve", 6, 3),
         "pointList=15 Stream=0 Curve=3(maxCv=3) Node=0 Point=0(maxPt=0)"),
        ("after a position list opened", inside(b"<gml:posList>\n", 14, 5),
         "pointList=25 Stream=0 Curve=6(maxCv=6) Node=0 Point=0(maxPt=0)"),
        ("in a point", inside(b"<gml:pos>", 12, 4),
         "pointList=62 Stream=0 Curve=13(maxCv=13) Node=0 Point=4(maxPt=5)"),
        ("in a stream after its river code", inside(b"</ksj:riverCode>", 17, 8),
         "pointList=62 Stream=9 Curve=13(maxCv=13) Node=0 Point=26(maxPt=26)"),
        ("in the middle of a character of a river name", name + 1,
         "pointList=62 Stream=8 Curve=13(maxCv=13) Node=0 Point=26(maxPt=26)"),
        ("in a river-node reference", inside(b'<ksj:position xlink:href="#pt_', 31, 20),
         "pointList=62 Stream=13 Curve=13(maxCv=13) Node=20 Point=26(maxPt=26)"),
        ("before the last line end", len(text) - 1,
         "pointList=62 Stream=13 Curve=13(maxCv=13) Node=26 Point=26(maxPt=26)"),
        ("after the first byte", 1,
         "pointList=0 Stream=0 Curve=0(maxCv=0) Node=0 Point=0(maxPt=0)"),
    ]
    files = [(description, text[:size], report) for description, size, report in cuts]
    # Cuts in a line longer than the reader's blocks and in a comment that never closes.
    files.append(("in a river name longer than a read block",
                  text[:name] + "川".encode() * 500000 + "川".encode()[:2],
                  "pointList=62 Stream=8 Curve=13(maxCv=13) Node=0 Point=26(maxPt=26)"))
    files.append(("in a comment that never closes",
                  text[:streams] + b"<!-- a comment\n" + b"x" * (3 << 20) + b"\n" + text[streams:],
                  "pointList=62 Stream=0 Curve=13(maxCv=13) Node=0 Point=26(maxPt=26)"))
    return files


def cut_files(suite):
    text = w05_text([(100001, 6, 5, "小川"), (100002, 6, 5, "大川"), (100003, 1, 2, "末川")])
    for description, data, report in cut_files_of(text):
        cwd = workdir("cut")
        write_file(os.path.join(cwd, "W05-01_13-g.xml"), data)
        write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), code_list_text(CODE_LIST))
        problems = []
        for args in (["W05-01_13-g.xml", "page.htm", "t", "100001", "100002", "1000020002"],
                     ["W05-01_13-g.xml", "*"], ["W05-*.xml"]):
            run = suite.run(args, cwd)
            found = suite.sound_run(run)
            if not found and run.returncode not in (0, 1):
                found.append("exit status %d" % run.returncode)
            if not found and ("W05-01_13-g.xml : " + report + "\n").encode() not in run.stdout:
                found.append("load report is not %r:\n%s" % (
                    report, run.stdout.decode("utf-8", "replace")))
            if not found and run.returncode == 1 and b"** Error" not in run.stdout and \
                    b"Not found" not in run.stdout:
                found.append("status 1 without a message")
            if not found and run.returncode == 0 and args[1:2] == ["page.htm"] and \
                    not run.stdout.endswith(b"successfully generated. (path=%d)\n" % (
                        14 if "last line end" in description else 0)):
                found.append("status 0 without the success line")
            problems += ["%s: %s" % (" ".join(args), p) for p in found]
        if read_file(os.path.join(cwd, "W05-01_13-g.xml")) != data:
            problems.append("the cut data file changed")
        suite.report("vanishing: data file cut %s" % description, problems)

    # Cuts all over a small file: every run ends in its own way, never in a crash.
    small = w05_text([(100001, 2, 3, "小川"), (100002, 1, 2, "大川")])
    cwd = workdir("sweep")
    problems = []
    for size in range(0, len(small), 11):
        write_file(os.path.join(cwd, "W05-01_13-g.xml"), small[:size])
        run = suite.run(["W05-01_13-g.xml", "page.htm", "t", "100001", "100002/00ff00"], cwd)
        found = suite.sound_run(run)
        if not found and (run.returncode not in (0, 1) or b" : pointList=" not in run.stdout):
            found.append("status %d:\n%s" % (run.returncode,
                                              run.stdout.decode("utf-8", "replace")))
        problems += ["cut after %d bytes: %s" % (size, p) for p in found]
    suite.report("vanishing: data file cut after every 11th byte", problems)

    # A code list cut in the middle of an entry has lost its closing element, so it counts as a
    # list without entries: the run goes on and names the pages after the data's main rivers.
    cwd = workdir("cutlist")
    listing = code_list_text([(100001, "甲"), (100002, "乙"), (100003, "丙")])
    cut = listing.index(b'code="100003"') + 8
    write_file(os.path.join(cwd, "WaterSystemCodeCd.xml"), listing[:cut])
    write_file(os.path.join(cwd, "W05-01_13-g.xml"), text)
    run = suite.run(["W05-01_13-g.xml", "*"], cwd)
    problems = suite.sound_run(run)
    if run.returncode != 0:
        problems.append("exit status %d" % run.returncode)
    if b'"WaterSystemCodeCd.xml" CodePage=65001 nws=0\n' not in run.stdout:
        problems.append("unexpected code list report:\n" + run.stdout.decode("utf-8", "replace"))
    folder = os.path.join(cwd, "W05-01_13-g_html")
    for name in ("100001_小川.htm", "100002_大川.htm", "100003_末川.htm"):
        if not page_is_whole(os.path.join(folder, name)):
            problems.append("%s missing" % name)
    if read_file(os.path.join(cwd, "WaterSystemCodeCd.xml")) != listing[:cut]:
        problems.append("the code list changed")
    suite.report("vanishing: code list cut in an entry", problems)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    group = sys.argv[2]
    gen_w05 = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    suite = Suite(binary)
    root = tempfile.mkdtemp(prefix="hydrochart-faults-")
    tempfile.tempdir = root
    try:
        if group == "disk-full":
            group_disk_full(suite, gen_w05)
        elif group == "dev-full":
            group_dev_full(suite)
        elif group == "unwritable":
            group_unwritable(suite)
        elif group == "vanishing":
            group_vanishing(suite)
        elif group == "inputs":
            group_inputs(suite)
        else:
            print("unknown group %s" % group)
            return 2
    finally:
        tempfile.tempdir = None
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (suite.passed, suite.failed))
    return 1 if suite.failed else 0


if __name__ == "__main__":
    sys.exit(main())
