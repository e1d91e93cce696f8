#!/usr/bin/env python3
"""Makes dist/quillmend-<version>-win32.zip (quillmend.exe, README.md, LICENSE,
SHA256SUMS) and dist/SHA256SUMS. The zip is reproducible: fixed order, fixed
dates, fixed permissions."""
import hashlib
import os
import sys
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
# 1980-01-01, the earliest date a zip holds; SOURCE_DATE_EPOCH overrides it.
FIXED_DATE = (1980, 1, 1, 0, 0, 0)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def main():
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    exe = os.path.join(ROOT, "build", "win32", "quillmend.exe")
    if not os.path.exists(exe):
        sys.exit("build/win32/quillmend.exe is missing: run scripts/build.sh first")
    date = FIXED_DATE
    if os.environ.get("SOURCE_DATE_EPOCH"):
        import time
        date = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]

    files = [("quillmend.exe", open(exe, "rb").read()),
             ("README.md", open(os.path.join(ROOT, "README.md"), "rb").read()),
             ("LICENSE", open(os.path.join(ROOT, "LICENSE"), "rb").read())]
    sums = "".join("%s  %s\n" % (sha256(content), name) for name, content in files).encode()
    files.append(("SHA256SUMS", sums))

    dist = os.path.join(ROOT, "dist")
    os.makedirs(dist, exist_ok=True)
    name = "quillmend-%s-win32.zip" % version
    path = os.path.join(dist, name)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for member, content in files:
            info = zipfile.ZipInfo("quillmend-%s/%s" % (version, member), date_time=date)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, content, compresslevel=9)
    zipped = open(path, "rb").read()
    with open(os.path.join(dist, "SHA256SUMS"), "w") as f:
        f.write("%s  %s\n" % (sha256(zipped), name))
        f.write("%s  quillmend.exe\n" % sha256(files[0][1]))
    print("dist/%s (%d bytes)" % (name, len(zipped)))
    print(open(os.path.join(dist, "SHA256SUMS")).read(), end="")


if __name__ == "__main__":
    main()
