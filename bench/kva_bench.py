#!/usr/bin/env python3
"""kva as a whole program next to its peers, on the same inputs, in one run.

Each subcommand rotates its tools run by run and reports medians and marginal
costs; every output is checked with openssl, tar, cmp, diff, `kva info` and
`kva list`. The report goes to standard output, progress to standard error.
"""

import argparse
import os
import random
import shutil
import subprocess
import time

from bench_common import (CIPHERS, HEADER_SIZE, MIB, PASSWORD, REPO, Bench, check,
                          fresh_destination, log, machine_note, median, random_file, same_bytes)

WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"


class ContainerBench(Bench):
    operations, targets = ("encrypt", "decrypt"), {"encrypt": 1.10, "decrypt": 1.10}
    names = {("encrypt", "openssl"): "openssl enc", ("decrypt", "openssl"): "openssl enc -d"}

    def file(self, kind, identifier, size):
        """kind: plain (a source), openssl (its ciphertext), kva (its container)."""
        return self.path("%s-%d-%d" % (kind, identifier * (kind != "plain"), size))

    def command(self, tool, operation, identifier, src, dst):
        if tool == "openssl":
            return self.openssl(identifier, operation == "decrypt") + ["-in", src, "-out", dst]
        cipher = ["--cipher", str(identifier)] if operation == "encrypt" else []
        return [self.args.kva, operation, src, dst, "--password-file", self.pwfile, "-f"] + cipher

    def verify(self, tool, operation, identifier, size, output):
        """A decryption gives the source back; a container is openssl's ciphertext, headed."""
        what = "%s %s (id %d, %d bytes)" % (tool, operation, identifier, size)
        if operation == "decrypt":
            return check(same_bytes(output, 0, self.file("plain", 0, size)), what + " differs")
        if tool != "openssl":
            self.check_container(output, identifier, size)
        check(same_bytes(output, 0 if tool == "openssl" else HEADER_SIZE,
                         self.file("openssl", identifier, size)), what + " differs from openssl's")

    def timed(self, identifier, operation, tool, size):
        out = self.path("out-%s-%s" % (tool, operation))
        fresh_destination(out)
        source = "plain" if operation == "encrypt" else "openssl" if tool == "openssl" else "kva"
        result = self.run(self.command(tool, operation, identifier,
                                       self.file(source, identifier, size), out))
        self.verify(tool, operation, identifier, size, out)
        os.unlink(out)
        return result

    def prepare(self, identifier, size):
        """Untimed: the ciphertext and container the decrypt runs read, checked (warming up)."""
        plain = self.file("plain", 0, size)
        if not os.path.exists(plain):
            random_file(plain, size)
        for tool in ("openssl", "kva"):
            self.run(self.command(tool, "encrypt", identifier, plain,
                                  self.file(tool, identifier, size)))
        self.verify("kva", "encrypt", identifier, size, self.file("kva", identifier, size))

    def digest_runs(self, count):
        """kva decrypt of an empty container does the two digests and no cipher work; kva info
        of it starts the same process and reads the header, without digesting."""
        empty, container, out = self.path("empty"), self.path("empty.kva"), self.path("empty.out")
        open(empty, "wb").close()
        self.run(self.command("kva", "encrypt", 3, empty, container))
        self.check_container(container, 3, 0)
        runs = {"decrypt": self.command("kva", "decrypt", 3, container, out),
                "info": [self.args.kva, "info", container]}
        times = {"decrypt": [], "info": []}
        for i in range(count):
            for which in sorted(runs, reverse=i % 2 == 1):
                times[which].append(self.run(runs[which]).wall * 1000)
                check(os.path.getsize(out) == 0, "the empty container decrypts to 0 bytes")
        decrypt, info = median(times["decrypt"]), median(times["info"])
        return "Password digest (fixed per operation, two scrypt calls): kva decrypt of an " \
            "empty container %.1f ms, kva info of it %.1f ms, difference %.1f ms per operation." \
            % (decrypt, info, decrypt - info)

    def cipher_runs(self, args, sizes):
        for identifier in args.ids:
            runs = getattr(args, "des_runs", args.runs) if identifier == 2 else args.runs
            log("id %d (%s), %d runs" % (identifier, CIPHERS[identifier][0], runs))
            for size in sizes:
                self.prepare(identifier, size)
            self.alternate(identifier, runs, sizes, self.timed)
            for size, kind in ((s, k) for s in sizes for k in ("kva", "openssl")):
                os.unlink(self.file(kind, identifier, size))


def containers(bench, args, sizes):
    log("digest")
    digest = bench.digest_runs(args.digest_runs)
    bench.cipher_runs(args, sizes)
    memory = []
    if args.memory_size and 3 in args.ids:
        bench.memory_runs(3, args.memory_size * MIB)
        memory = [""] + bench.memory_table(3)
    return [], [], ["", digest] + memory


class WindowsBench(ContainerBench):
    """The containers' runs with the two builds of kva as the tools: both must
    write openssl's ciphertext, hence the same containers."""
    tools, targets = ("kva.exe", "kva"), {}
    names = {(op, tool): name for op in ContainerBench.operations
             for tool, name in (("kva.exe", "kva.exe (Wine)"), ("kva", "kva (Linux)"))}

    def command(self, tool, operation, identifier, src, dst):
        argv = super().command(tool.replace(".exe", ""), operation, identifier, src, dst)
        # Wine sees the Linux root as drive Z:.
        return argv if tool != "kva.exe" else [WINE, self.args.kva_exe] + [
            "Z:" + a.replace("/", "\\") if a.startswith("/") else a for a in argv[1:]]


def windows(bench, args, sizes):
    bench.run([WINE, args.kva_exe, "--version"])  # a new prefix is made here, untimed
    bench.cipher_runs(args, sizes)
    return [[WINE, "--version"]], [], []


# The 256 MiB tree's shape; other sizes scale the small files' count, the large ones' size.
REFERENCE_SIZE, SMALL_FILES, SMALL_MAX, LARGE_FILES = 256 * MIB, 2000, 64 << 10, 4
# How the peers open a tar.enc: $1 the tar.enc, $2 the folder, $3 a scratch file.
OPENINGS = {"pipeline": '"${@:4}" -in "$1" | tar -x -C "$2"',
            "by hand": '"${@:4}" -in "$1" -out "$3" && tar -x -f "$3" -C "$2" && rm "$3"'}
# Creating an empty file takes about 20 us; after a mass deletion, ten times that.
PROBE_FILES, PROBE_SLOW_US = 1000, 35


class Tree:
    """Random content: folders as '/'-joined paths, parents first; files as (path, size)."""

    def __init__(self, parent, size):
        self.parent, self.size, self.name = parent, size, "tree%d" % (size // MIB)
        self.root = os.path.join(parent, self.name)
        rng = random.Random(size)
        small_count = max(4, round(SMALL_FILES * size / REFERENCE_SIZE))
        self.folders = []
        for t, s in ((t, s) for t in range(max(2, small_count // 250)) for s in range(4)):
            self.folders += ["dir%02d" % t] * (s == 0) + ["dir%02d/sub%d" % (t, s)] + \
                ["dir%02d/sub%d/deep%d" % (t, s, s)] * (s % 2 == 0)
        places = [""] + self.folders  # small files anywhere, the root included
        self.files = [(os.path.join(rng.choice(places), "file%05d.bin" % i),
                       rng.randint(1024, SMALL_MAX)) for i in range(small_count)]
        rest = size - sum(s for _, s in self.files)
        check(rest > LARGE_FILES * SMALL_MAX, "tree of %d bytes: room for the large files" % size)
        self.large = rest // LARGE_FILES
        self.files += [(os.path.join("" if i % 2 == 0 else self.folders[i], "large%d.bin" % i),
                        self.large + (rest % LARGE_FILES) * (i == LARGE_FILES - 1))
                       for i in range(LARGE_FILES)]

    def generate(self):
        os.makedirs(self.root)
        for folder in self.folders:
            os.mkdir(os.path.join(self.root, folder))
        for relative, size in self.files:
            random_file(os.path.join(self.root, relative), size)
        return self

    def entries(self):
        """(kind, size, path from the root's own name) of every entry."""
        return sorted([("folder", 0, self.name)] + [("folder", 0, self.name + "/" + f) for f in
                      self.folders] + [("file", s, self.name + "/" + f) for f, s in self.files])

    def describe(self):
        small = [s for _, s in self.files[:-LARGE_FILES]]
        return "%d MiB: %d folders, %d files of 1-64 KiB (%.1f MiB), %d large files of %.1f MiB" \
            % (self.size // MIB, len(self.folders) + 1, len(small), sum(small) / MIB,
               LARGE_FILES, self.large / MIB)


class TreeBench(Bench):
    tools, operations = ("kva", "pipeline"), ("open", "seal")
    targets = {"open": 1.0, "seal": 1.2}
    names = {("open", "pipeline"): "openssl enc -d \\| tar -x",
             ("seal", "pipeline"): "tar -c \\| openssl enc"}

    def __init__(self, args, label):
        super().__init__(args, label)
        self.sources, self.extractions = self.path("src"), self.path("x")
        os.mkdir(self.extractions)  # and the sources' folder with the first tree
        self.trees, self.probes = {}, []

    def fresh_folder(self, label):
        """A folder that never existed, made untimed (tar wants one), kept to the end."""
        folder = "%s/%04d-%s" % (self.extractions, len(os.listdir(self.extractions)), label)
        os.mkdir(folder)
        return folder

    def pipe(self, script, *words):
        return ["bash", "-c", "set -o pipefail; " + script, "pipe"] + list(words)

    def command(self, operation, tool, tree, container, destination=None):
        """seal: tree -> container; other operations: container -> destination folder."""
        if tool == "kva":
            return [self.args.kva] + (["open", container, destination] if operation == "open" else
                                      ["seal", tree.root, container, "--cipher", "3", "-f"]) + [
                "--password-file", self.pwfile]
        if operation != "seal":
            return self.pipe(OPENINGS[tool], container, destination, self.path("package.tar"),
                             *self.openssl(3, True))
        return self.pipe('tar -c -C "$1" "$2" | "${@:4}" -out "$3"', tree.parent, tree.name,
                         container, *self.openssl(3))

    def check_extraction(self, tree, destination, what):
        check(os.listdir(destination) == [tree.name], what + ": one folder, the tree's")
        diff = subprocess.run(["diff", "-rq", "--no-dereference", tree.root, os.path.join(
            destination, tree.name)], capture_output=True, text=True)
        check(diff.returncode == 0, "%s differs from the source:\n%s" % (what, diff.stdout[:800]))

    def check_sealed(self, tree, container, tool):
        """A tar.enc: openssl decrypts it, `tar -t` lists the tree, `tar -d` finds no difference.
        A container: `kva info`; openssl decrypts it; `kva list` and `kva unpack` give the tree."""
        what = "%s seal of the %d MiB tree" % (tool, tree.size // MIB)
        if tool == "pipeline":
            decrypt = self.openssl(3, True) + ["-in", container]
            listing = self.output(self.pipe('"$@" | tar -t', *decrypt))
            check(sorted(listing.splitlines()) == sorted(
                p + "/" * (kind == "folder") for kind, _, p in tree.entries()), what + ": tar -t")
            return self.output(self.pipe('"${@:2}" | tar -d -C "$1"', tree.parent, *decrypt))
        package = self.path("check.pkg")
        self.output(self.pipe('tail -c +%d "$1" | "${@:3}" -out "$2"' % (HEADER_SIZE + 1),
                              container, package, *self.openssl(3, True)))
        self.check_container(container, 3, os.path.getsize(package))
        lines = self.output([self.args.kva, "list", package]).splitlines()
        rows = [line.split(None, 3) for line in lines[1:-1]]
        check(all(int(depth) == path.count("/") for _, _, depth, path in rows), what + ": depths")
        check(sorted((kind, int(size), path) for kind, size, _, path in rows) == tree.entries(),
              what + ": kva list shows other entries")
        check(lines[-1].startswith("entries: %d, content bytes: %d," % (
            len(rows), sum(s for _, s in tree.files))), what + ": kva list's totals")
        destination = self.fresh_folder("check-%d" % (tree.size // MIB))
        self.output([self.args.kva, "unpack", package, destination])
        self.check_extraction(tree, destination, what + ", unpacked")
        os.unlink(package)

    def warm_pages(self, size):
        """Untimed: writes and deletes a file larger than the run's output, so that the run gets
        pages just used, not ones the host took back (ten times slower; bench/README.md)."""
        if not self.args.no_warm_pages:
            with open(self.path("ballast"), "wb") as f:
                for _ in range(size // (8 * MIB) + 8):
                    f.write(bytes(8 * MIB))
            os.unlink(self.path("ballast"))

    def settle(self, minutes, when):
        """Waits (up to `minutes`) while creating files is slow after a mass deletion."""
        deadline = time.monotonic() + minutes * 60
        while True:
            folder = self.fresh_folder("probe")
            os.sync()
            start = time.perf_counter()
            for i in range(PROBE_FILES):
                os.close(os.open(os.path.join(folder, "f%04d" % i), os.O_WRONLY | os.O_CREAT))
            self.probes.append((when, (time.perf_counter() - start) / PROBE_FILES * 1e6))
            if self.probes[-1][1] <= PROBE_SLOW_US or time.monotonic() >= deadline:
                return
            log("  creating a file takes %.0f us (usually about 20): waiting" % self.probes[-1][1])
            time.sleep(30)

    def reference(self, tool, size):
        """The checked input of an opening: tar's for the peers, else kva's."""
        return self.path("tree-%d.%s" % (size, "tar.enc" if tool in OPENINGS else "kva"))

    def prepare(self, identifier, size):
        """Untimed: the tree, tar.enc and container, checked; later seals must equal them."""
        tree = self.trees[size] = self.trees.get(size) or Tree(self.sources, size).generate()
        for tool in ("kva", "pipeline"):
            self.run(self.command("seal", tool, tree, self.reference(tool, size)))
            self.check_sealed(tree, self.reference(tool, size), tool)
        log("  tree " + tree.describe())

    def timed(self, identifier, operation, tool, size):
        tree, what = self.trees[size], "%s %s of the %d MiB tree" % (tool, operation, size // MIB)
        if operation != "seal":
            destination = self.fresh_folder("%s-%d" % (tool, size // MIB))
            os.sync()
            self.warm_pages(size)
            result = self.run(self.command(operation, tool, tree, self.reference(tool, size),
                                           destination))
            self.check_extraction(tree, destination, what)
            return result
        out = self.path("seal-%s.out" % tool)
        fresh_destination(out)
        self.warm_pages(size)
        result = self.run(self.command("seal", tool, tree, out))
        check(same_bytes(out, 0, self.reference(tool, size)), what + " differs from the checked")
        return result


class WorkerBench(TreeBench):
    """The app's worker path (worker_bench.cpp), now and from an earlier tree, next to by hand."""
    operations, targets = ("worker",), {}
    names = {("worker", "worker"): "the worker (now)",
             ("worker", "before"): "the worker (--worker-before)",
             ("worker", "by hand"): "openssl enc -d to a file, tar -x -f, rm"}

    def __init__(self, args, label):
        super().__init__(args, label)
        self.programs = {"worker": args.worker_bench, "before": args.worker_before}
        self.tools = tuple(t for t, p in self.programs.items() if p) + ("by hand",)

    def warm_pages(self, size):
        super().warm_pages(2 * size)  # a run writes the package, then the tree

    def command(self, operation, tool, tree, container, destination=None):
        if tool in self.programs:
            return [self.programs[tool], container, destination, PASSWORD]
        return super().command(operation, tool, tree, container, destination)


def trees(bench, args, sizes):
    for size in sizes:
        bench.prepare(3, size)
    bench.settle(args.settle_minutes, "start")
    bench.alternate(3, args.runs, sizes, bench.timed)
    bench.settle(0, "end")
    if args.memory_size:
        bench.memory_runs(3, args.memory_size * MIB)
    return [["tar", "--version"]], [
        "Creating an empty file: %s (usually about 20 us; slower right after mass deletions)."
        % ", ".join("%.0f us at the %s" % (micro, when) for when, micro in bench.probes), "",
        "Trees: " + "; ".join(bench.trees[s].describe() for s in sizes) + ".", ""], \
        [""] + bench.memory_table(3) if "kva" in bench.tools else []


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)

    def command(name, runs, quick, help_text):
        sub = commands.add_parser(name, help=help_text)
        sub.set_defaults(quick_values=quick, ids="3")
        sub.add_argument("--quick", action="store_true", help="smoke run: " + ", ".join(
            "%s %s" % (k.replace("_", "-"), v) for k, v in quick.items()))
        sub.add_argument("--runs", type=int, default=runs, help="runs per size, the tools rotated")
        sub.add_argument("--sizes", default="64,256", help="MiB; marginal = largest - smallest")
        sub.add_argument("--kva", default=os.path.join(REPO, "build", "bin", "kva"))
        sub.add_argument("--scratch-parent", default=os.path.join(REPO, "build"),
                         help="a fresh folder is made (and removed) inside it")
        if name in ("containers", "windows"):
            sub.add_argument("--ids", help="cipher identifiers, in order")
        else:
            sub.add_argument("--no-warm-pages", action="store_true",
                             help="do not write and delete a scratch file before each timed run")
            sub.add_argument("--settle-minutes", type=float, default=10,
                             help="wait up to this long for file creation to be fast again")
        if name in ("containers", "trees"):
            sub.add_argument("--memory-size", type=int, default=1024,
                             help="MiB for the peak-memory runs (0: skip)")
        return sub

    sub = command("containers", 9, {"sizes": "4,16", "runs": 2, "des_runs": 1, "memory_size": 64,
                                    "digest_runs": 4}, "kva encrypt/decrypt next to openssl enc")
    sub.set_defaults(ids="3,1,2")
    sub.add_argument("--des-runs", type=int, default=3, help="runs per size for id 2")
    sub.add_argument("--digest-runs", type=int, default=10)
    command("trees", 9, {"sizes": "8,32", "runs": 2, "memory_size": 64, "settle_minutes": 1},
            "kva seal/open next to tar piped through openssl enc (id 3)")
    sub = command("worker", 9, {"sizes": "8,32", "runs": 2, "settle_minutes": 1},
                  "the application's worker path next to openssl enc -d, tar -x and rm (id 3)")
    sub.set_defaults(memory_size=0)
    sub.add_argument("--worker-bench", default=os.path.join(REPO, "build", "bin", "worker_bench"))
    sub.add_argument("--worker-before", help="a worker_bench built from an earlier tree")
    sub = command("windows", 7, {"sizes": "4,16", "runs": 2}, "kva.exe under Wine next to kva")
    sub.add_argument("--windows-build", default=os.path.join(REPO, "build-windows"))

    args = parser.parse_args()
    for key, value in args.quick_values.items() if args.quick else ():
        setattr(args, key, min(value, args.settle_minutes) if key == "settle_minutes" else value)
    sizes = sorted({int(s) * MIB for s in args.sizes.split(",")})
    args.ids = [int(i) for i in args.ids.split(",")]
    if len(sizes) < 2 or args.runs < 1 or any(i not in CIPHERS for i in args.ids):
        parser.error("need two sizes or more, one run or more, identifiers among 1, 2, 3")
    if args.command == "windows":
        args.kva_exe = os.path.join(args.windows_build, "bin", "kva.exe")
    for name in ("kva", "kva_exe", "worker_bench", "worker_before"):
        if getattr(args, name, None):
            setattr(args, name, os.path.abspath(getattr(args, name)))
            if not os.access(getattr(args, name), os.X_OK):
                parser.error("no program at %s (build it first)" % getattr(args, name))
    if args.command == "windows":
        os.environ.update(WINEPREFIX=os.path.join(args.windows_build, "wineprefix"),
                          WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        # One persistent Wine server for the whole run: its start is not timed.
        subprocess.run([WINESERVER, "-p60"])  # exits at once if one already runs
    kind, measure = {"containers": (ContainerBench, containers), "trees": (TreeBench, trees),
                     "worker": (WorkerBench, trees),
                     "windows": (WindowsBench, windows)}[args.command]
    bench = kind(args, args.command)
    try:  # measure: the commands the machine line names, the lines before and after the table
        versions, before, after = measure(bench, args, sizes)
        report = ["Machine: %s." % machine_note(bench.scratch, ["openssl", "version"],
                                                *versions), ""] + before + \
            bench.table(sizes, bench.run(["true"]).maxrss) + after
    finally:
        bench.close()
        log("deleting " + bench.scratch)
        shutil.rmtree(bench.scratch, ignore_errors=True)
        # Written-back inode tables shorten ext4's slow spell after a mass deletion.
        os.sync()
    print("\n".join(report))


if __name__ == "__main__":
    main()
