#!/usr/bin/python3
"""An FTP server whose downloads misbehave, with the options of `python3 -m pyftpdlib` (-i -p -u -P -d)
and --mode:
  cut      RETR sends half of the file (and 16 MB more), then the data connection fails and the server answers 426;
  trickle  RETR sends the file one byte a second;
  endless  RETR and LIST send without end;
  hostile  LIST sends names no file may have (path parts, control bytes, 300 bytes), then the real ones."""
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


class CutProducer:
    """Hands out the first half of the file and 16 MB more, then fails like a dropped line. The 16 MB
    are more than the socket buffers hold, so the line drops only once the client is reading: in
    active mode a client that had not yet taken the data connection would see a refused connection,
    not a cut transfer."""

    def __init__(self, data):
        self.chunks = [data[: len(data) // 2]] + [b"x" * 65536] * 256

    def more(self):
        if self.chunks:
            return self.chunks.pop(0)
        raise OSError(104, "connection cut")


class EndlessProducer:
    """Endless for any client that stops it as it should; one that does not is cut off at 1 GB, so
    that a failing test fails instead of filling the disk."""

    def __init__(self):
        self.left = 16384

    def more(self):
        if self.left == 0:
            raise OSError(104, "connection cut")
        self.left -= 1
        return b"x" * 65536


HOSTILE = (
    b"-rw-r--r--   1 o g 10 Jan  1 10:00 ../../materia/FTPSetting.dat\r\n"
    b"-rw-r--r--   1 o g 10 Jan  1 10:00 bell\x07\x1b[2Jcleared\r\n"
    b"-rw-r--r--   1 o g 10 Jan  1 10:00 " + b"a" * 300 + b"\r\n"
)


class OddHandler(FTPHandler):
    mode = "cut"

    def ftp_LIST(self, path):
        if self.mode == "endless":
            self.push_dtp_data(EndlessProducer(), isproducer=True, cmd="LIST")
            return path
        if self.mode == "hostile":
            lines = self.fs.format_list(path, sorted(self.run_as_current_user(self.fs.listdir, path)))
            real = b"".join(l if isinstance(l, bytes) else l.encode("utf8") for l in lines)
            self.push_dtp_data(HOSTILE + real, cmd="LIST")
            return path
        return FTPHandler.ftp_LIST(self, path)

    def ftp_SIZE(self, path):
        # A client that knows the size stops there; these servers are meant to be believed.
        self.respond("502 SIZE not implemented.")

    def ftp_RETR(self, file):
        if self.mode in ("trickle", "hostile"):
            return FTPHandler.ftp_RETR(self, file)
        try:
            with open(file, "rb") as f:
                data = f.read()
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        producer = CutProducer(data) if self.mode == "cut" else EndlessProducer()
        self.push_dtp_data(producer, isproducer=True, cmd="RETR")
        return file


class TrickleDTPHandler(ThrottledDTPHandler):
    write_limit = 1
    ac_out_buffer_size = 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("-i", default="127.0.0.1")
    p.add_argument("-p", type=int, default=0)
    p.add_argument("-u", required=True)
    p.add_argument("-P", required=True)
    p.add_argument("-d", required=True)
    p.add_argument("--mode", choices=["cut", "trickle", "endless", "hostile"], required=True)
    a = p.parse_args()
    config_logging(level=logging.DEBUG)
    auth = DummyAuthorizer()
    auth.add_user(a.u, a.P, a.d, perm="elr")
    OddHandler.authorizer = auth
    OddHandler.mode = a.mode
    OddHandler.use_sendfile = False
    OddHandler.dtp_handler = TrickleDTPHandler if a.mode == "trickle" else DTPHandler
    FTPServer((a.i, a.p), OddHandler).serve_forever()


if __name__ == "__main__":
    main()
