"""Fixtures made by Python's own zipfile and tarfile, so the stand-ins are checked against another writer.

python.zip: a deflated and a stored member, a folder entry and a member whose name is Shift-JIS without the
UTF-8 flag (as Japanese archivers write it). python.tar and python.tgz: the same files from tarfile.
"""
import io
import os
import sys
import tarfile
import zipfile

DEFLATED = b"deflated text " * 200
STORED = bytes(range(256)) * 4
SJIS_NAME = "日本語/表.txt"
SJIS_DATA = "表示テスト\r\n".encode("cp932")
DATE = (2021, 3, 4, 5, 6, 8)
MTIME = 1614834368  # 2021-03-04 05:06:08 UTC


class SjisZipInfo(zipfile.ZipInfo):
    """Stores the name as Shift-JIS bytes with no UTF-8 flag."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits & ~0x800


def make_zip(path):
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(zipfile.ZipInfo("docs/", DATE), b"")
        info = zipfile.ZipInfo("docs/deflated.txt", DATE)
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, DEFLATED)
        info = zipfile.ZipInfo("stored.bin", DATE)
        info.compress_type = zipfile.ZIP_STORED
        z.writestr(info, STORED)
        info = SjisZipInfo(SJIS_NAME, DATE)
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, SJIS_DATA)


def make_tar(path, mode):
    with tarfile.open(path, mode, format=tarfile.USTAR_FORMAT) as t:
        d = tarfile.TarInfo("docs")
        d.type = tarfile.DIRTYPE
        d.mtime = MTIME
        t.addfile(d)
        for name, data in (("docs/deflated.txt", DEFLATED), ("stored.bin", STORED)):
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = MTIME
            t.addfile(info, io.BytesIO(data))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    make_zip(os.path.join(out, "python.zip"))
    make_tar(os.path.join(out, "python.tar"), "w")
    make_tar(os.path.join(out, "python.tgz"), "w:gz")


if __name__ == "__main__":
    main()
