#!/usr/bin/python3
"""A folder on a slow disk, for the benches: mounts ROOT at MOUNT through FUSE and holds
every write, fsync, rename and directory flush for DELAY_MS. Needs Debian's python3-fusepy
and fuse3. Usage: slow_folder.py ROOT MOUNT DELAY_MS (runs until unmounted)."""
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowFolder(Operations):
    def __init__(self, root, delay):
        self.root = root
        self.delay = delay

    def _path(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def _slow(self):
        time.sleep(self.delay)

    def getattr(self, path, fh=None):
        try:
            st = os.lstat(self._path(path))
        except OSError as error:
            raise FuseOSError(error.errno)
        return {key: getattr(st, key) for key in (
            "st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size", "st_uid")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def mkdir(self, path, mode):
        return os.mkdir(self._path(path), mode)

    def unlink(self, path):
        return os.unlink(self._path(path))

    def rename(self, old, new):
        self._slow()
        return os.rename(self._path(old), self._path(new))

    def chmod(self, path, mode):
        return os.chmod(self._path(path), mode)

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        os.lseek(fh, offset, os.SEEK_SET)
        return os.read(fh, size)

    def write(self, path, data, offset, fh):
        self._slow()
        os.lseek(fh, offset, os.SEEK_SET)
        return os.write(fh, data)

    def truncate(self, path, length, fh=None):
        with open(self._path(path), "r+b") as f:
            f.truncate(length)

    def fsync(self, path, datasync, fh):
        self._slow()
        return os.fsync(fh)

    def fsyncdir(self, path, datasync, fh):
        self._slow()
        return 0

    def release(self, path, fh):
        return os.close(fh)

    def statfs(self, path):
        st = os.statvfs(self._path(path))
        return {key: getattr(st, key) for key in (
            "f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files", "f_flag",
            "f_frsize", "f_namemax")}


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    FUSE(SlowFolder(sys.argv[1], int(sys.argv[3]) / 1000.0), sys.argv[2], foreground=True, nothreads=False)
