"""make_zip.py <zip> <orvanta.exe> <README template> <version> <commit> <epoch>

Writes the release zip: a folder named after the zip holding orvanta.exe, README.txt (from the
template, with CR LF line ends for Notepad) and SHA256SUMS. Nothing in the zip depends on when
or where it was made: every entry carries the commit's time (SOURCE_DATE_EPOCH, in UTC, as zip
dates have no zone), the same permissions and the same compression, in sorted order, with no
extra fields.
"""

import hashlib
import os
import sys
import time
import zipfile

# Zip dates begin in 1980.
EARLIEST = 315532800


def main(argv):
    zip_path, exe_path, template_path, version, commit, epoch = argv
    folder = os.path.basename(zip_path)[: -len(".zip")]
    with open(exe_path, "rb") as f:
        exe = f.read()
    with open(template_path, encoding="utf-8") as f:
        readme = (f.read().replace("@VERSION@", version).replace("@COMMIT@", commit)
                  .replace("\n", "\r\n").encode("utf-8"))
    files = {"orvanta.exe": exe, "README.txt": readme}
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                   for name, data in sorted(files.items()))
    files["SHA256SUMS"] = sums.encode("ascii")

    date_time = time.gmtime(max(int(epoch), EARLIEST))[:6]
    with zipfile.ZipFile(zip_path, "w") as archive:
        for name, data in sorted(files.items()):
            entry = zipfile.ZipInfo("%s/%s" % (folder, name), date_time)
            entry.create_system = 3  # Unix, so the permissions below are read
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
