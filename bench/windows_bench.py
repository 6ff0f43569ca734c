#!/usr/bin/env python3
"""kva.exe (the Windows build, under Wine) next to the Linux kva, in one run.

For each size (64 and 256 MiB by default) and cipher identifier (3 by
default) this times

    kva encrypt SRC DST --cipher N --password-file F -f      (Linux)
    wine64 kva.exe encrypt SRC DST --cipher N --password-file F -f
    kva decrypt SRC DST --password-file F -f                  (Linux)
    wine64 kva.exe decrypt SRC DST --password-file F -f

as separate processes on the same files, alternating the two builds run by
run (who goes first flips every run), and reports medians and the marginal
cost time(largest) - time(smallest), in which process start (Wine's
included) and the password digest cancel out.

Every output is checked: the two builds' containers must be byte for byte
the same (key and IV follow from the password), and every decryption must
give the source back.

Run from the repository after both builds (release and windows presets):

    python3 bench/windows_bench.py            # 64 and 256 MiB, 7 runs each
    python3 bench/windows_bench.py --quick    # smoke run: 4 and 16 MiB, 2 runs

Wine's server is started once, persistent, so that its start-up is not
timed. Scratch files go to a fresh folder under build/. Standard library only.
"""

import argparse
import filecmp
import os
import shutil
import subprocess
import tempfile
import time

from bench_common import MIB, PASSWORD, REPO, log, machine_note, median, quotient, random_file

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
NAMES = {1: "AES-128-CFB", 2: "DES-EDE3-CBC", 3: "AES-128-CBC"}


def windows_path(path):
    """Wine sees the Linux root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Bench:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        self.password = os.path.join(scratch, "password")
        with open(self.password, "w") as f:
            f.write(PASSWORD + "\n")
        self.env = dict(os.environ, WINEPREFIX=os.path.join(args.windows_build, "wineprefix"),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.kva_exe = os.path.join(args.windows_build, "bin", "kva.exe")
        self.times = {}  # (operation, build, size) -> [seconds]

    def path(self, name):
        return os.path.join(self.scratch, name)

    def command(self, build, operation, source, destination, cipher):
        if build == "linux":
            argv = [self.args.kva, operation, source, destination, "--password-file", self.password]
        else:
            argv = [WINE, self.kva_exe, operation, windows_path(source), windows_path(destination),
                    "--password-file", windows_path(self.password)]
        if operation == "encrypt":
            argv += ["--cipher", str(cipher)]
        return argv + ["-f"]

    def timed(self, build, operation, source, destination, cipher):
        if os.path.exists(destination):
            os.remove(destination)
        subprocess.run(["sync"], check=True)
        argv = self.command(build, operation, source, destination, cipher)
        with open(self.path("stderr.txt"), "w") as err:
            start = time.perf_counter()
            status = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=err, stderr=err,
                                    env=self.env).returncode
            elapsed = time.perf_counter() - start
        if status != 0:
            with open(self.path("stderr.txt")) as err:
                raise SystemExit("%s failed (%d): %s" % (" ".join(argv), status, err.read()))
        return elapsed

    def measure(self, size, cipher):
        source = self.path("plain-%d" % size)
        random_file(source, size * MIB)
        for run in range(self.args.runs):
            order = ["linux", "windows"] if run % 2 == 0 else ["windows", "linux"]
            for build in order:
                box = self.path("%s-%d.kva" % (build, size))
                back = self.path("%s-%d.out" % (build, size))
                self.times.setdefault(("encrypt", build, size), []).append(
                    self.timed(build, "encrypt", source, box, cipher))
                self.times.setdefault(("decrypt", build, size), []).append(
                    self.timed(build, "decrypt", box, back, cipher))
                if not filecmp.cmp(source, back, shallow=False):
                    raise SystemExit("%s decryption does not give the source back" % build)
            if not filecmp.cmp(self.path("linux-%d.kva" % size), self.path("windows-%d.kva" % size),
                               shallow=False):
                raise SystemExit("the two builds' containers differ (%d MiB)" % size)
            log("  %d MiB, run %d of %d" % (size, run + 1, self.args.runs))
        for name in os.listdir(self.scratch):
            if name.endswith("-%d.kva" % size) or name.endswith("-%d.out" % size):
                os.remove(self.path(name))
        os.remove(source)

    def report(self, cipher):
        small, large = self.args.sizes[0], self.args.sizes[-1]
        print("| Operation | Build | t %d MiB (s) | t %d MiB (s) | Marginal (s) | MB/s | Windows/Linux |"
              % (small, large))
        print("|---|---|---:|---:|---:|---:|---:|")
        for operation in ("decrypt", "encrypt"):
            marginal = {}
            for build in ("linux", "windows"):
                t_small = median(self.times[(operation, build, small)])
                t_large = median(self.times[(operation, build, large)])
                marginal[build] = t_large - t_small
            for build in ("linux", "windows"):
                t_small = median(self.times[(operation, build, small)])
                t_large = median(self.times[(operation, build, large)])
                rate = (large - small) * MIB / marginal[build] / 1e6 if marginal[build] > 0 else 0
                ratio = ("**%.2f**" % quotient(marginal["windows"], marginal["linux"])
                         if build == "windows" else "")
                label = "kva (Linux)" if build == "linux" else "kva.exe (Wine)"
                print("| %s, %s | %s | %.3f | %.3f | %.3f | %.0f | %s |"
                      % (operation, NAMES[cipher], label, t_small, t_large, marginal[build], rate,
                         ratio))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kva", default=os.path.join(REPO, "build", "bin", "kva"))
    parser.add_argument("--windows-build", default=os.path.join(REPO, "build-windows"))
    parser.add_argument("--sizes", default="64,256", help="MiB, comma-separated")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--cipher", type=int, default=3, choices=(1, 2, 3))
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    if args.quick:
        args.sizes, args.runs = "4,16", 2
    args.sizes = sorted(int(s) for s in args.sizes.split(","))

    scratch = tempfile.mkdtemp(prefix="windows-bench-", dir=os.path.join(REPO, "build"))
    try:
        bench = Bench(args, scratch)
        # One persistent Wine server (and its services) for the whole run.
        subprocess.run([WINESERVER, "-p60"], env=bench.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINE, bench.kva_exe, "--version"], env=bench.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        for size in args.sizes:
            log("%d MiB, cipher %d" % (size, args.cipher))
            bench.measure(size, args.cipher)
        print(machine_note(scratch, "openssl") + "; Wine " +
              subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip() +
              "; medians of %d alternated runs" % args.runs)
        print()
        bench.report(args.cipher)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
