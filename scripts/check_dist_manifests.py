"""The part of check_dist.sh that reads the zip's own fields and the manifests
beside it: what lets anyone rebuild the package byte for byte (sorted entries,
one time, the one BUILDINFO.txt names, fixed permissions, no extra fields), and
winget and Scoop manifests that parse, carry the zip's sum and give each
architecture its own programs; winget's MSI installers carry each package's sum
and the product code the package itself holds.

Usage: check_dist_manifests.py ZIP VERSION "COMMAND..."
Exits with the number of problems found (at most 100)."""
import calendar
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import time
import zipfile

import yaml

IDENTIFIER = "Tolvern.Quillmere"
BITS = ("32bit", "64bit")

zip_path, version, commands = sys.argv[1], sys.argv[2], sys.argv[3].split()
name = os.path.basename(zip_path)
dist = os.path.dirname(zip_path)
problems = []


def fail(text):
    problems.append(text)


with open(zip_path, "rb") as f:
    raw = f.read()
zip_sum = hashlib.sha256(raw).hexdigest()
with zipfile.ZipFile(zip_path) as z:
    infos = z.infolist()
    buildinfo = z.read("BUILDINFO.txt").decode("utf-8", "replace") \
        if "BUILDINFO.txt" in z.namelist() else None
held = [i.filename for i in infos]

if held != sorted(held):
    fail(f"{name}: entries not in sorted order: {' '.join(held)}")
for i in infos:
    # Only the local header tells its own extra field.
    local_extra = struct.unpack_from("<H", raw, i.header_offset + 28)[0]
    if i.extra or local_extra:
        fail(f"{name}: {i.filename} has extra fields (times or owner)")
    if i.external_attr >> 16 != 0o100644:
        fail(f"{name}: {i.filename} has mode {oct(i.external_attr >> 16)}, expected 0o100644")
if len({i.date_time for i in infos}) > 1:
    fail(f"{name}: entries have different times")
if buildinfo is not None and infos:
    m = re.search(r"^(?:commit|source) time: (\S+ \S+) UTC", buildinfo, re.M)
    if not m:
        fail("BUILDINFO.txt names no time")
    else:
        named = calendar.timegm(time.strptime(m.group(1), "%Y-%m-%d %H:%M:%S"))
        stored = calendar.timegm(infos[0].date_time + (0, 0, 0))
        # DOS times count in steps of two seconds, rounded either way.
        if abs(stored - named) > 1:
            fail(f"{name}: entries dated {time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(stored))},"
                 f" BUILDINFO.txt names {m.group(1)}")

exes = {bits: {f for f in held if f.endswith(f"-{bits}.exe")} for bits in BITS}
announced = {f"{c}-{bits}.exe" for c in commands for bits in BITS}


def check_programs(where, bits, files):
    """Each architecture's entry names its own programs, all of them."""
    for f in files:
        if not f.endswith(f"-{bits}.exe"):
            fail(f"{where}: names {f}")
        elif f not in held and f not in announced:
            fail(f"{where}: names {f}, which the package does not hold")
    for f in sorted(exes[bits] - set(files)):
        fail(f"{where}: leaves out {f}")
    for f in sorted(set(files) & announced - set(held)):
        print(f"package check: note: {where} names {f}, not built yet")


def check_download(where, url, digest):
    if not isinstance(url, str) or not re.fullmatch(r"https?://\S+/" + re.escape(name), url):
        fail(f"{where}: download address {url!r} does not end in /{name}")
    if not isinstance(digest, str) or digest.lower() != zip_sum:
        fail(f"{where}: sum {digest} is not the zip's {zip_sum}")


# winget: the multi-file form, in the community repository's folder layout.
folder = os.path.join(dist, "winget", "manifests", "t", *IDENTIFIER.split("."), version)
files = {"version": f"{IDENTIFIER}.yaml", "installer": f"{IDENTIFIER}.installer.yaml",
         "defaultLocale": f"{IDENTIFIER}.locale.en-US.yaml"}
winget = {}
for kind, file in files.items():
    where = f"winget {file}"
    try:
        with open(os.path.join(folder, file), encoding="utf-8") as f:
            text = f.read()
        doc = yaml.safe_load(text)
    except (OSError, yaml.YAMLError) as e:
        fail(f"{where}: {e}")
        continue
    if not isinstance(doc, dict):
        fail(f"{where}: not a mapping")
        continue
    winget[kind] = doc
    mv = str(doc.get("ManifestVersion", ""))
    if not re.fullmatch(r"\d+\.\d+\.\d+", mv) or tuple(map(int, mv.split("."))) < (1, 12, 0):
        fail(f"{where}: ManifestVersion {mv!r}, expected 1.12.0 or later")
    schema = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{mv}.schema.json"
    if text.splitlines()[:1] != [schema]:
        fail(f"{where}: does not start with {schema!r}")
    if doc.get("ManifestType") != kind:
        fail(f"{where}: ManifestType {doc.get('ManifestType')!r}, expected {kind}")
    if doc.get("PackageIdentifier") != IDENTIFIER or str(doc.get("PackageVersion")) != version:
        fail(f"{where}: names {doc.get('PackageIdentifier')} {doc.get('PackageVersion')},"
             f" expected {IDENTIFIER} {version}")
if "version" in winget and winget["version"].get("DefaultLocale") != "en-US":
    fail(f"winget {files['version']}: DefaultLocale is not en-US, the locale file's")
if "defaultLocale" in winget:
    for key in ("PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"):
        if not winget["defaultLocale"].get(key):
            fail(f"winget {files['defaultLocale']}: no {key}")
if "installer" in winget:
    doc = winget["installer"]
    installers = doc.get("Installers") or []
    kinds = sorted((str(i.get("InstallerType", doc.get("InstallerType"))), str(i.get("Architecture")))
                   for i in installers)
    wanted = [("msi", "x64"), ("msi", "x86"), ("zip", "x64"), ("zip", "x86")]
    if kinds != wanted:
        fail(f"winget {files['installer']}: installers {kinds}, expected {wanted}")
    for i in installers:
        arch = i.get("Architecture")
        where = f"winget {files['installer']}, {arch}"
        if i.get("InstallerType", doc.get("InstallerType")) == "msi":
            msi = f"quillmere-{version}-{arch}.msi"
            where += f" {msi}"
            url = i.get("InstallerUrl")
            if not isinstance(url, str) or not re.fullmatch(r"https?://\S+/" + re.escape(msi), url):
                fail(f"{where}: download address {url!r} does not end in /{msi}")
            if i.get("Scope", doc.get("Scope")) != "machine":
                fail(f"{where}: scope {i.get('Scope')!r}, expected machine")
            try:
                with open(os.path.join(dist, msi), "rb") as f:
                    msi_sum = hashlib.sha256(f.read()).hexdigest()
                properties = subprocess.run(["msiinfo", "export", os.path.join(dist, msi), "Property"],
                                            capture_output=True, text=True, check=True).stdout
            except (OSError, subprocess.CalledProcessError) as e:
                fail(f"{where}: {e}")
                continue
            if str(i.get("InstallerSha256", "")).lower() != msi_sum:
                fail(f"{where}: sum {i.get('InstallerSha256')} is not the package's {msi_sum}")
            held_code = re.search(r"^ProductCode\t(\S+)", properties, re.M)
            if not held_code or i.get("ProductCode") != held_code.group(1):
                fail(f"{where}: product code {i.get('ProductCode')!r}, the package holds"
                     f" {held_code and held_code.group(1)!r}")
            continue
        for key, wanted in (("InstallerType", "zip"), ("NestedInstallerType", "portable")):
            if i.get(key, doc.get(key)) != wanted:
                fail(f"{where}: {key} {i.get(key, doc.get(key))!r}, expected {wanted}")
        check_download(where, i.get("InstallerUrl"), i.get("InstallerSha256"))
        nested = i.get("NestedInstallerFiles") or []
        check_programs(where, "64bit" if arch == "x64" else "32bit",
                       [str(n.get("RelativeFilePath")) for n in nested])
        aliases = [n.get("PortableCommandAlias") for n in nested]
        if aliases != commands:
            fail(f"{where}: command aliases {aliases}, expected {commands}")

# Scoop: one JSON file with a download per architecture.
where = "scoop quillmere.json"
try:
    with open(os.path.join(dist, "quillmere.json"), encoding="utf-8") as f:
        scoop = json.load(f)
except (OSError, ValueError) as e:
    fail(f"{where}: {e}")
    scoop = None
if scoop is not None and not isinstance(scoop, dict):
    fail(f"{where}: not an object")
elif scoop is not None:
    if scoop.get("version") != version:
        fail(f"{where}: version {scoop.get('version')!r}, expected {version}")
    # Scoop refuses a manifest without one.
    if not re.fullmatch(r"https?://\S+", str(scoop.get("homepage", ""))):
        fail(f"{where}: homepage {scoop.get('homepage')!r} is no web address")
    archs = scoop.get("architecture") or {}
    if sorted(archs) != list(BITS):
        fail(f"{where}: architectures {sorted(archs)}, expected 32bit and 64bit")
    for bits in BITS:
        entry = archs.get(bits) or {}
        check_download(f"{where}, {bits}", entry.get("url"), entry.get("hash"))
        bins = entry.get("bin") or []
        bins = [b if isinstance(b, list) and len(b) == 2 else [str(b), None] for b in bins]
        check_programs(f"{where}, {bits}", bits, [str(b[0]) for b in bins])
        if [b[1] for b in bins] != commands:
            fail(f"{where}, {bits}: command names {[b[1] for b in bins]}, expected {commands}")

for p in problems:
    print(f"package check: {p}", file=sys.stderr)
sys.exit(min(len(problems), 100))
