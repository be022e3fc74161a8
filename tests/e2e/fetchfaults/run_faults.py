#!/usr/bin/env python3
"""Fault tests of the fetchunpack program: full disks, folders that cannot be written, very long
list lines, unreadable and oversized lists, signals during a download or an extraction, archives
with many entries and an entry of 1 GB, against a local server on 127.0.0.1.

Usage: run_faults.py FETCHUNPACK_BINARY [GROUP...]
Groups: diskfull, unwritable, lists, signals, manyentries, bigentry (all when none is given).
Prints one line per check and a closing line "N passed, M failed"; exits non-zero when a check
failed. W05_SANITIZED=1 in the environment marks a binary built with AddressSanitizer, whose
memory use is held to a wider bound.
"""

import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

from w05e2e.checks import Suite
from w05e2e.files import T2000, leftovers, make_zip as make_any_zip, read, write
from w05e2e.testserver import Route, TestServer

BANNER = "**** Download and Unzip ****\n"
Y2000 = 946684800  # 2000-01-01 00:00:00 UTC
MB = 1024 * 1024
SANITIZED = os.environ.get("W05_SANITIZED") == "1"


suite = Suite("fetchfaults_", verbose=True)
checks = suite.checks
group = suite.group
BINARY = None


def environment():
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
    env.update(TZ="UTC", LANG="C.UTF-8", LC_ALL="C.UTF-8",
               FETCHUNPACK_RETRY_DELAY="0", FETCHUNPACK_STALL_TIMEOUT="5",
               FETCHUNPACK_CONNECT_TIMEOUT="5")
    return env


class Result:
    def __init__(self, code, out, err, max_rss_kb, seconds):
        self.code = code
        self.out = out
        self.err = err
        self.max_rss_kb = max_rss_kb
        self.seconds = seconds


# Signals whose disposition the program is tested with: the default, whatever the test runner
# was started with (Python itself ignores SIGXFSZ and SIGPIPE, nohup ignores SIGHUP).
TESTED_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGXFSZ, signal.SIGPIPE)


def child_setup(file_size_limit=None):
    """What the child does before it runs the program: default signal dispositions and, when
    given, a cap of `file_size_limit` bytes on every file it writes."""
    def setup():
        for number in TESTED_SIGNALS:
            signal.signal(number, signal.SIG_DFL)
        if file_size_limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
    return setup


def check_default_dispositions():
    """A child started as the program is starts with none of the tested signals ignored."""
    status = subprocess.run(["cat", "/proc/self/status"], preexec_fn=child_setup(),
                            capture_output=True, text=True, check=True).stdout
    ignored = int(re.search(r"^SigIgn:\s*([0-9a-f]+)$", status, re.M).group(1), 16)
    names = [signal.Signals(n).name for n in TESTED_SIGNALS if ignored & (1 << (n - 1))]
    checks.equal("signals the program starts with ignored", names, [])


class Running:
    """The program started with standard output and error in files, so that the child's own
    resource use can be read when it is reaped."""

    def __init__(self, args, cwd, file_size_limit=None):
        self.args = args
        self.out = tempfile.TemporaryFile()
        self.err = tempfile.TemporaryFile()
        self.start = time.monotonic()
        self.child = subprocess.Popen([BINARY] + args, cwd=cwd, env=environment(),
                                      stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err,
                                      preexec_fn=child_setup(file_size_limit))

    def finish(self, timeout=600):
        try:
            deadline = time.monotonic() + timeout
            while True:
                pid, status, usage = os.wait4(self.child.pid, os.WNOHANG)
                if pid:
                    break
                if time.monotonic() > deadline:
                    raise TimeoutError(f"{self.args[:1]} still running after {timeout} s")
                time.sleep(0.01)
        except BaseException:
            self.child.kill()
            self.child.wait()
            raise
        self.child.returncode = os.waitstatus_to_exitcode(status)
        seconds = time.monotonic() - self.start
        with self.out, self.err:
            self.out.seek(0)
            self.err.seek(0)
            result = Result(self.child.returncode, self.out.read().decode("utf-8", "replace"),
                            self.err.read().decode("utf-8", "replace"), usage.ru_maxrss, seconds)
        checks.check(f"no sanitizer report for {self.args[:1]}",
                     not re.search(r"AddressSanitizer|LeakSanitizer|runtime error:", result.err),
                     result.err[:3000])
        return result


def run(args, cwd, file_size_limit=None):
    """Runs the program to its end. `file_size_limit` (bytes) caps every file the child writes;
    SIGXFSZ keeps its default action, so the program must ignore it itself to report the write
    that fails with EFBIG."""
    result = Running(args, cwd, file_size_limit).finish()
    checks.check(f"no crash for {args[:1]}", result.code in (0, 1),
                 f"status {result.code}\n{result.err[:3000]}")
    return result


def make_zip(entries):
    return make_any_zip(entries, zipfile.ZIP_DEFLATED)


def old_file_kept(tmp, relative, what):
    checks.equal(f"{what}: older file intact", read(os.path.join(tmp, relative)), b"OLD FILE")
    checks.equal(f"{what}: no temporary file left", leftovers(tmp), [])


# ---------------------------------------------------------------------------------------------
@group("diskfull")
def download_beyond_the_file_size_limit(tmp):
    check_default_dispositions()
    body = os.urandom(2 * MB)
    with TestServer({"/ksj/big.zip": Route("body", body)}) as server:
        url = server.base + "/ksj/big.zip"
        write(os.path.join(tmp, "out/big.zip"), b"OLD FILE")
        r = run([url, "out", "x.xml"], tmp, file_size_limit=256 * 1024)
        checks.equal("transcript", r.out, BANNER + f"{url} out/big.zip** Error: Inet\n")
        checks.equal("exit status", r.code, 1)
        checks.check("cause names the file and the error", "out/big.zip" in r.err and
                     "File too large" in r.err, r.err)
        old_file_kept(tmp, "out/big.zip", "download")

        # List mode stops at the same point: the line before it is done, the one after never
        # started.
        small = make_zip([("x.xml", b"small")])
        server.routes["/ksj/small.zip"] = Route("body", small)
        write(os.path.join(tmp, "urls.txt"),
              f"{server.base}/ksj/\nsmall.zip x.xml\nbig.zip\nsmall.zip\n".encode())
        r = run(["urls.txt", "list"], tmp, file_size_limit=256 * 1024)
        checks.equal("list transcript", r.out, BANNER +
                     f"{server.base}/ksj/small.zip list/small.zip x.xml\n"
                     f"{server.base}/ksj/big.zip list/big.zip** Error: Inet\n")
        checks.equal("list exit status", r.code, 1)
        checks.equal("list files", sorted(os.listdir(os.path.join(tmp, "list"))),
                     ["small.zip", "x.xml"])
        checks.equal("list: no temporary file left", leftovers(tmp), [])


@group("diskfull")
def member_beyond_the_file_size_limit(tmp):
    # 4 MB of zeros deflate to a few kilobytes: the archive fits, the member does not.
    archive = make_zip([("small.xml", b"small"), ("zeros.xml", bytes(4 * MB))])
    with TestServer({"/ksj/z.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/z.zip"
        write(os.path.join(tmp, "out/zeros.xml"), b"OLD FILE")
        r = run([url, "out", "small.xml", "zeros.xml", "small.xml"], tmp,
                file_size_limit=1 * MB)
        checks.equal("transcript", r.out,
                     BANNER + f"{url} out/z.zip small.xml zeros.xml** Error: ZIP error code 6\n")
        checks.equal("exit status", r.code, 1)
        checks.check("cause names the member and the error", "out/zeros.xml" in r.err and
                     "File too large" in r.err, r.err)
        checks.equal("archive kept", read(os.path.join(tmp, "out/z.zip")), archive)
        checks.equal("member before it written", read(os.path.join(tmp, "out/small.xml")), b"small")
        old_file_kept(tmp, "out/zeros.xml", "member")


# ---------------------------------------------------------------------------------------------
@group("unwritable")
def folders_that_cannot_be_written(tmp):
    archive = make_zip([("x.xml", b"x"), ("sub/y.xml", b"y")])
    with TestServer({"/ksj/a.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/a.zip"
        # /proc takes no new files, not even from root.
        r = run([url, "/proc/fetchfaults", "x.xml"], tmp)
        checks.equal("/proc transcript", r.out,
                     BANNER + f"{url} /proc/fetchfaults/a.zip** Error: Inet\n")
        checks.equal("/proc exit status", r.code, 1)
        checks.check("/proc cause", "/proc/fetchfaults/a.zip" in r.err, r.err)

        # The folder's parent is a regular file, in list mode.
        write(os.path.join(tmp, "blocker"), b"OLD FILE")
        write(os.path.join(tmp, "urls.txt"), f"{url} x.xml\n{url}\n".encode())
        r = run(["urls.txt", "blocker/out"], tmp)
        checks.equal("blocked list transcript", r.out,
                     BANNER + f"{url} blocker/out/a.zip** Error: Inet\n")
        checks.equal("blocked list exit status", r.code, 1)
        old_file_kept(tmp, "blocker", "blocked list")

        # The archive lands, but the member's folder is /proc behind a link.
        os.makedirs(os.path.join(tmp, "out"))
        os.symlink("/proc", os.path.join(tmp, "out/sub"))
        r = run([url, "out", "x.xml", "sub/y.xml"], tmp)
        checks.equal("member transcript", r.out,
                     BANNER + f"{url} out/a.zip x.xml sub/y.xml** Error: ZIP error code 11\n")
        checks.equal("member exit status", r.code, 1)
        checks.check("member cause", "out/sub/y.xml" in r.err, r.err)
        checks.equal("member before it written", read(os.path.join(tmp, "out/x.xml")), b"x")
        checks.equal("member: no temporary file left", leftovers(tmp), [])


# ---------------------------------------------------------------------------------------------
LONG_ZIP_A = make_zip([("Data.xml", b"first")])
LONG_ZIP_B = make_zip([("x.xml", b"from b")])


def piece(text, size=1023):
    assert len(text.encode()) <= size
    return text + "p" * (size - len(text.encode()))


@group("lists")
def lines_of_5000_bytes(tmp):
    routes = {"/ksj/a.zip": Route("body", LONG_ZIP_A), "/ksj/b.zip": Route("body", LONG_ZIP_B)}
    with TestServer(routes) as server:
        base = server.base
        # Each 5000-byte line is read as pieces of 1023, 1023, 1023, 1023 and 908 bytes, and
        # every piece is a line of its own: a URL line, then comments; a comment, then a URL
        # line that uses the base, then comments; five pieces of a name no server has.
        comments = "".join(piece("#") for _ in range(3)) + piece("#", 908)
        first = piece("a.zip Data.xml ") + comments
        second = piece("#") + piece("b.zip x.xml ") + piece("#") + piece("#") + piece("#", 908)
        third = "x" * 5000
        for line in (first, second, third):
            assert len(line.encode()) == 5000
        write(os.path.join(tmp, "urls.txt"),
              "\n".join([f"{base}/ksj/", first, second, third]).encode() + b"\n")
        r = run(["urls.txt"], tmp)
        checks.equal("transcript", r.out, BANNER +
                     f"{base}/ksj/a.zip a.zip Data.xml {'p' * 1008}\n"
                     f"{base}/ksj/b.zip b.zip x.xml {'p' * 1011}\n"
                     f"{base}/ksj/{'x' * 1023} {'x' * 1023}** Error: Inet\n")
        checks.equal("exit status", r.code, 1)
        checks.equal("member of the first line", read(os.path.join(tmp, "Data.xml")), b"first")
        checks.equal("member of the second line", read(os.path.join(tmp, "x.xml")), b"from b")
        checks.equal("requests", [p for p, _ in server.requests],
                     ["/ksj/a.zip", "/ksj/b.zip", "/ksj/" + "x" * 1023])
        checks.equal("files", sorted(os.listdir(tmp)), ["Data.xml", "a.zip", "b.zip", "urls.txt",
                                                        "x.xml"])


@group("lists")
def a_cut_through_a_character(tmp):
    with TestServer({"/ksj/a.zip": Route("body", LONG_ZIP_A)}) as server:
        base = server.base
        # "a.zip Data.xml XY" is 17 bytes and a kanji 3: the cut at 1023 leaves the first byte
        # of the 336th kanji in the first piece and two in the second. The list as a whole is
        # valid UTF-8.
        line = ("a.zip Data.xml XY" + "河" * 1661).encode()
        assert len(line) == 5000
        write(os.path.join(tmp, "urls.txt"), f"{base}/ksj/\n".encode() + line + b"\n")
        r = run(["urls.txt"], tmp)
        pieces = [line[i:i + 1023] for i in range(0, len(line), 1023)]
        first = pieces[0].decode("utf-8", "replace")
        second = pieces[1].decode("utf-8", "replace")
        checks.check("the cut character is replaced", first.endswith("河\ufffd") and
                     second.startswith("\ufffd\ufffd河") and second.endswith("\ufffd"), repr(first[-3:]))
        checks.equal("transcript", r.out, BANNER +
                     f"{base}/ksj/a.zip a.zip {first[len('a.zip '):]}\n"
                     f"{base}/ksj/{second} {second}** Error: Inet\n")
        checks.equal("exit status", r.code, 1)
        checks.equal("member", read(os.path.join(tmp, "Data.xml")), b"first")


@group("lists")
def text_beyond_unicode(tmp):
    # Four-byte forms beyond U+10FFFF pass the UTF-8 guess; each becomes one U+FFFD, in list
    # text and in entry names alike, so that no URL or file name carries them.
    beyond = b"\xf5\x97\x8b\x8b"
    raw_name = b"z" + beyond + b".xml"
    archive = make_zip([("z~~~~.xml", b"beyond")]).replace(b"z~~~~.xml", raw_name)
    with TestServer({"/ksj/a.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/a.zip"
        write(os.path.join(tmp, "urls.txt"), url.encode() + b" x" + beyond + b"y.xml z\xef\xbf\xbd.xml\n")
        r = run(["urls.txt", "out"], tmp)
        checks.equal("transcript", r.out, BANNER + f"{url} out/a.zip x\ufffdy.xml z\ufffd.xml\n")
        checks.equal("exit status", r.code, 0)
        checks.equal("entry written under the replaced name",
                     read(os.path.join(tmp, "out/z\ufffd.xml")), b"beyond")


@group("lists")
def a_list_that_is_a_folder(tmp):
    os.makedirs(os.path.join(tmp, "urls"))
    r = run(["urls", "out"], tmp)
    checks.equal("transcript", r.out, BANNER + '** Error: Not found Download URL List file "urls"')
    checks.equal("exit status", r.code, 1)
    checks.equal("nothing written", os.listdir(tmp), ["urls"])


@group("lists")
def lists_too_large_and_lists_that_are_no_files(tmp):
    limit = 64 * MB
    with open(os.path.join(tmp, "huge.txt"), "wb") as f:
        f.truncate(limit + 1)
    r = run(["huge.txt", "out"], tmp)
    checks.equal("a list of 64 MiB and one byte", (r.code, r.out),
                 (1, BANNER + '** Error: URL list file "huge.txt" is larger than 64 MiB.\n'))
    # Refused by its size, before anything is read.
    bound = 256 if SANITIZED else 48
    checks.check(f"nothing read (peak memory under {bound} MB)", r.max_rss_kb < bound * 1024,
                 f"{r.max_rss_kb} kB")

    # 64 MiB is read: NUL bytes end the text of every line, so there is nothing to do.
    with open(os.path.join(tmp, "full.txt"), "wb") as f:
        f.truncate(limit)
    r = run(["full.txt", "out"], tmp)
    checks.equal("a list of 64 MiB", (r.code, r.out), (0, BANNER))

    # A device that never ends, and a pipe that nobody writes to, are refused at once.
    os.mkfifo(os.path.join(tmp, "pipe"))
    for path in ("/dev/zero", "pipe"):
        r = Running([path, "out2"], tmp).finish(timeout=60)
        checks.equal(f"{path}", (r.code, r.out),
                     (1, BANNER + f'** Error: URL list file "{path}" is not a regular file.\n'))
    checks.check("no folder made for lists that were not read",
                 not os.path.exists(os.path.join(tmp, "out2")))


# ---------------------------------------------------------------------------------------------
def wait_for(condition, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.002)
    return False


CLEANUP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


@group("signals")
def signals_during_a_download(tmp):
    check_default_dispositions()
    body = make_zip([("x.xml", os.urandom(100000))])
    with TestServer({"/ksj/slow.zip": Route("stall", body)}) as server:
        url = server.base + "/ksj/slow.zip"
        for number, requests in zip(CLEANUP_SIGNALS, range(1, 4)):
            name = signal.Signals(number).name
            write(os.path.join(tmp, "out/slow.zip"), b"OLD FILE")
            running = Running([url, "out", "x.xml"], tmp)
            started = wait_for(lambda: server.count("/ksj/slow.zip") == requests and leftovers(tmp))
            checks.check(f"{name}: the body is being received", started)
            running.child.send_signal(number)
            r = running.finish(timeout=60)
            checks.equal(f"{name}: ended by the signal", r.code, -number)
            checks.check(f"{name}: transcript so far", r.out.startswith(BANNER + url), r.out)
            old_file_kept(tmp, "out/slow.zip", name)


@group("signals")
def signals_during_an_extraction(tmp):
    size = 512 * MB
    zeros_archive(os.path.join(tmp, "source.zip"), size)
    archive = read(os.path.join(tmp, "source.zip"))
    os.remove(os.path.join(tmp, "source.zip"))
    with TestServer({"/ksj/zeros.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/zeros.zip"
        out = os.path.join(tmp, "out")
        for number in CLEANUP_SIGNALS:
            name = signal.Signals(number).name
            write(os.path.join(out, "zeros.bin"), b"OLD FILE")
            if os.path.exists(os.path.join(out, "zeros.zip")):
                os.remove(os.path.join(out, "zeros.zip"))
            running = Running([url, "out", "zeros.bin"], tmp)
            # Once the archive is in place, a temporary file is the member's. The program is
            # stopped while it writes, so that the signal is sure to come during the extraction.
            caught = wait_for(lambda: os.path.exists(os.path.join(out, "zeros.zip")) and leftovers(out))
            running.child.send_signal(signal.SIGSTOP)
            checks.check(f"{name}: the member is being written", caught and leftovers(out) != [])
            running.child.send_signal(number)
            running.child.send_signal(signal.SIGCONT)
            r = running.finish(timeout=120)
            checks.equal(f"{name}: ended by the signal", r.code, -number)
            checks.equal(f"{name}: archive kept", read(os.path.join(out, "zeros.zip")), archive)
            old_file_kept(tmp, "out/zeros.bin", name)


# ---------------------------------------------------------------------------------------------
@group("manyentries")
def archive_of_10000_entries(tmp):
    count = 10000
    archive = make_zip([(f"dir{n // 1000}/e{n:05d}.xml", f"entry {n}".encode())
                        for n in range(count)])
    with TestServer({"/ksj/many.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/many.zip"
        members = ["DIR9/E09999.XML", "missing.xml", "dir0/e00000.xml"]
        r = run([url, "out"] + members, tmp)
        checks.equal("transcript", r.out, BANNER + f"{url} out/many.zip " + " ".join(members) + "\n")
        checks.equal("exit status", r.code, 0)
        checks.equal("last entry", read(os.path.join(tmp, "out/dir9/e09999.xml")), b"entry 9999")
        checks.equal("last entry time", int(os.stat(os.path.join(tmp, "out/dir9/e09999.xml")).st_mtime),
                     Y2000)
        checks.equal("first entry", read(os.path.join(tmp, "out/dir0/e00000.xml")), b"entry 0")
        checks.equal("nothing else written", sorted(os.listdir(os.path.join(tmp, "out"))),
                     ["dir0", "dir9", "many.zip"])
        # Three searches through 10,000 names take well under a second; a minute means the
        # search has gone wrong (quadratic or worse), not that the machine is slow.
        print(f"     {count} entries, 3 members: {r.seconds:.2f} s")
        checks.check("the search is linear (sanity bound: 60 s)", r.seconds < 60, f"{r.seconds:.1f} s")


# ---------------------------------------------------------------------------------------------
def zeros_archive(path, size):
    """A zip archive with one deflated entry of `size` zero bytes, written in pieces so that
    the test itself never holds the entry."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        info = zipfile.ZipInfo("zeros.bin", T2000)
        info.compress_type = zipfile.ZIP_DEFLATED
        with archive.open(info, "w", force_zip64=True) as entry:
            block = bytes(MB)
            for _ in range(size // MB):
                entry.write(block)


def zeros_at(path, offsets):
    with open(path, "rb") as f:
        for at in offsets:
            f.seek(at)
            if f.read(MB) != bytes(MB):
                return False
    return True


@group("bigentry")
def entry_of_1_gb(tmp):
    size = 1024 * MB
    zeros_archive(os.path.join(tmp, "source.zip"), size)
    archive = read(os.path.join(tmp, "source.zip"))
    os.remove(os.path.join(tmp, "source.zip"))
    print(f"     archive of {size} zero bytes: {len(archive)} bytes")
    with TestServer({"/ksj/zeros.zip": Route("body", archive)}) as server:
        url = server.base + "/ksj/zeros.zip"

        # A limit of 64 MB: the archive fits, the member does not.
        write(os.path.join(tmp, "out/zeros.bin"), b"OLD FILE")
        r = run([url, "out", "zeros.bin"], tmp, file_size_limit=64 * MB)
        checks.equal("over the limit: transcript", r.out,
                     BANNER + f"{url} out/zeros.zip zeros.bin** Error: ZIP error code 6\n")
        checks.equal("over the limit: exit status", r.code, 1)
        checks.check("over the limit: cause", "File too large" in r.err, r.err)
        old_file_kept(tmp, "out/zeros.bin", "over the limit")

        r = run([url, "out", "ZEROS.BIN"], tmp)
        checks.equal("transcript", r.out, BANNER + f"{url} out/zeros.zip ZEROS.BIN\n")
        checks.equal("exit status", r.code, 0)
        path = os.path.join(tmp, "out/zeros.bin")
        checks.equal("size", os.path.getsize(path), size)
        checks.equal("time", int(os.stat(path).st_mtime), Y2000)
        checks.check("all zeros at the start, middle and end",
                     zeros_at(path, (0, size // 2, size - MB)))
        checks.equal("no temporary file left", leftovers(tmp), [])
        print(f"     peak resident memory of the extraction: {r.max_rss_kb / 1024:.1f} MB, "
              f"{r.seconds:.1f} s")
        # AddressSanitizer's shadow memory and quarantine count too: a wider bound there.
        bound = 256 if SANITIZED else 64
        checks.check(f"peak resident memory under {bound} MB", r.max_rss_kb < bound * 1024,
                     f"{r.max_rss_kb} kB")


# ---------------------------------------------------------------------------------------------
def take_binary(path):
    global BINARY
    BINARY = path


def main():
    return suite.main(__doc__, take_binary)


if __name__ == "__main__":
    sys.exit(main())
