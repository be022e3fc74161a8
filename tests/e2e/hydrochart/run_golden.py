#!/usr/bin/env python3
"""Runs hydrochart on one golden case and compares its exit status, standard output and the
files it writes byte for byte with the case's expected files.

A case folder holds:
  args            the command-line arguments, one per line (UTF-8)
  input/          files copied into the empty working directory before the run (optional)
  expected/status the exit status
  expected/stdout the standard output
  expected/stderr the standard error (optional; compared only when the file is there)
  expected/files/ every file below it must exist with exactly this content
  absent          paths (one per line) that must not exist after the run (optional)
  present         paths (one per line) that must exist after the run (optional)
  program/        files placed next to a copy of the program, which is then run instead;
                  "@PROGRAM_DIR@" in the expected output stands for that copy's folder

With "--wine RUNNER" the program is a Windows build run through RUNNER (scripts/wine-run.sh),
and what differs on Windows by design is taken into account:
  args.windows, expected/stdout.windows, expected/files.windows, absent.windows
                  used instead of args, expected/stdout, expected/files and absent when present
                  (an empty file expected/files.windows: no file is expected)
                  (written in UTF-8; the program's console text, in the ANSI code page 932, is
                  decoded before the comparison, and "@PROGRAM_DIR@" is the folder as Windows
                  names it, Z:\\...)
  the banner      shows the console's input code page, 0 when there is no console
  line ends       standard output and the pages (.htm, .html) are text-mode files: CR LF;
                  other files (the code-label file) are written as bytes
"""
import os
import shutil
import subprocess
import sys
import tempfile


def variant(case, name, windows):
    """The Windows variant of a case file when there is one."""
    path = os.path.join(case, name)
    return path + ".windows" if windows and os.path.exists(path + ".windows") else path


def text_mode(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def main():
    binary, case = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runner = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 and sys.argv[3] == "--wine" else None
    windows = runner is not None
    with open(variant(case, "args", windows), encoding="utf-8") as f:
        args = [line.rstrip("\n") for line in f]
    work = tempfile.mkdtemp(prefix="hydrochart-golden-")
    program_dir = ""
    try:
        if os.path.isdir(os.path.join(case, "input")):
            shutil.copytree(os.path.join(case, "input"), work, dirs_exist_ok=True)
        if os.path.isdir(os.path.join(case, "program")):
            program_dir = tempfile.mkdtemp(prefix="hydrochart-program-")
            shutil.copytree(os.path.join(case, "program"), program_dir, dirs_exist_ok=True)
            binary = shutil.copy(binary, program_dir)
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        command = ([runner] if windows else []) + [binary] + args
        run = subprocess.run(command, cwd=work, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        failures = []
        with open(os.path.join(case, "expected", "status")) as f:
            status = int(f.read().strip())
        if run.returncode != status:
            failures.append(f"exit status {run.returncode}, expected {status}")
        with open(variant(case, "expected/stdout", windows), "rb") as f:
            stdout = f.read()
        actual = run.stdout
        if windows:
            stdout = text_mode(stdout.replace(b"**** hydrochart **** cp=65001", b"**** hydrochart **** cp=0", 1))
            stdout = stdout.replace(b"@PROGRAM_DIR@", ("Z:" + program_dir.replace("/", "\\")).encode())
            actual = actual.decode("cp932", "replace").encode()
        else:
            stdout = stdout.replace(b"@PROGRAM_DIR@", program_dir.encode())
        if actual != stdout:
            failures.append("standard output differs:\n--- expected\n%s\n--- actual\n%s" % (
                stdout.decode("utf-8", "replace"), actual.decode("utf-8", "replace")))
        stderr_path = variant(case, "expected/stderr", windows)
        if os.path.exists(stderr_path):
            with open(stderr_path, "rb") as f:
                stderr = f.read()
            actual_stderr = run.stderr
            if windows:
                stderr = text_mode(stderr)
                actual_stderr = actual_stderr.decode("cp932", "replace").encode()
            if actual_stderr != stderr:
                failures.append("standard error differs:\n--- expected\n%s\n--- actual\n%s" % (
                    stderr.decode("utf-8", "replace"), actual_stderr.decode("utf-8", "replace")))
        expected_root = variant(case, "expected/files", windows)
        for root, _, names in os.walk(expected_root):
            for name in names:
                rel = os.path.relpath(os.path.join(root, name), expected_root)
                produced = os.path.join(work, rel)
                if not os.path.isfile(produced):
                    failures.append(f"file {rel} was not written")
                    continue
                with open(os.path.join(root, name), "rb") as a, open(produced, "rb") as b:
                    want, got = a.read(), b.read()
                if windows and name.endswith((".htm", ".html")):
                    want = text_mode(want)
                want, got = want.splitlines(True), got.splitlines(True)
                if want != got:
                    for n, (w, g) in enumerate(zip(want + [b""] * len(got), got + [b""] * len(want))):
                        if w != g:
                            failures.append(f"file {rel} differs at line {n + 1}:\n  expected {w!r}\n  actual   {g!r}")
                            break
        for listing, must_exist in (("absent", False), ("present", True)):
            path = variant(case, listing, windows)
            if os.path.exists(path):
                with open(path, encoding="utf-8") as f:
                    for rel in filter(None, (line.strip() for line in f)):
                        if os.path.exists(os.path.join(work, rel)) != must_exist:
                            failures.append(f"{rel} must {'' if must_exist else 'not '}exist")
        if b"runtime error" in run.stderr or b"Sanitizer" in run.stderr:
            failures.append("sanitizer report:\n" + run.stderr.decode("utf-8", "replace"))
        if failures:
            print(f"{os.path.basename(case)}: FAILED")
            print("\n".join(failures))
            return 1
        print(f"{os.path.basename(case)}: ok")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if program_dir:
            shutil.rmtree(program_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
