#!/usr/bin/env python3
"""Indexes the sample photos with the native vellumar-cli and with a Windows build under Wine, and
compares the thumbnails of each photo pixel by pixel: the two builds decode with the same library and
must agree within a small tolerance per colour value. The headers must be the same bytes.

    compare-thumbnails.py NATIVE_CLI WINDOWS_CLI_EXE [--tolerance N]

A 64-bit .exe (one in an x86_64 build folder) runs under 64-bit Wine. Exit status 0 when every thumbnail
matches, 1 otherwise."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(command, env=None):
    result = subprocess.run(command, capture_output=True, env=env, stdin=subprocess.DEVNULL)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)}: status {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8")


def thumbnails(dump, to_host):
    """File name of each photo -> its thumbnail's path on this machine."""
    found = {}
    for line in dump.splitlines():
        record = json.loads(line)
        name = record["path"].replace("\\", "/").rsplit("/", 1)[-1]
        found[name] = to_host(record["thumbnail"])
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("native")
    parser.add_argument("windows")
    parser.add_argument("--tolerance", type=int, default=4)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="vellumar-thumbnails-")
    try:
        photos = os.path.join(work, "photos")
        os.makedirs(photos)
        sample_folder = os.path.join(root, "samples", "photos")
        for name in sorted(os.listdir(sample_folder)):
            shutil.copy(os.path.join(sample_folder, name), photos)
        shutil.copy(os.path.join(root, "indexer", "tests", "data", "bands_4000x1000.jpg"), photos)

        native_home = os.path.join(work, "native")
        run([args.native, "add-folder", "--home", native_home, "--codepage", "1252", photos])
        native = thumbnails(run([args.native, "dump", "--home", native_home, "--codepage", "1252"]), lambda p: p)

        env = dict(os.environ)
        if "x86_64" in os.path.abspath(args.windows):
            env["VELLUMAR_WINEARCH"] = "win64"
        wine = [os.path.join(root, "cmake", "wine-run.sh"), args.windows]
        windows_home = os.path.join(work, "windows")
        # Wine shows the host's root as drive Z:.
        run(wine + ["add-folder", "--home", "Z:" + windows_home, "--codepage", "1252", "Z:" + photos], env)
        windows = thumbnails(run(wine + ["dump", "--home", "Z:" + windows_home, "--codepage", "1252"], env),
                             lambda p: p[2:].replace("\\", "/") if p[:2].upper() == "Z:" else p)

        failures = 0
        if sorted(native) != sorted(windows):
            print(f"FAIL: different photos indexed: {sorted(native)} and {sorted(windows)}")
            failures += 1
        for name in sorted(set(native) & set(windows)):
            with open(native[name], "rb") as f:
                a = f.read()
            with open(windows[name], "rb") as f:
                b = f.read()
            if len(a) != 40054 or a[:54] != b[:54] or len(a) != len(b):
                print(f"FAIL: {name}: the thumbnail files differ in size or header ({len(a)}, {len(b)} bytes)")
                failures += 1
                continue
            worst = max(abs(x - y) for x, y in zip(a[54:], b[54:]))
            verdict = "ok" if worst <= args.tolerance else "FAIL"
            print(f"{verdict}: {name}: largest difference {worst}")
            failures += worst > args.tolerance
        print(f"{len(native)} thumbnails compared, tolerance {args.tolerance}: {failures} failures")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
