#!/usr/bin/python3
"""An FTP server whose downloads break off: RETR sends part of the file, then the data connection
fails and the server answers 426. Same options as `python3 -m pyftpdlib` (-i -p -u -P -d)."""
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


class CutProducer:
    """Hands out the first half of the file once, then fails like a dropped line."""

    def __init__(self, data):
        self.data = data[: len(data) // 2]
        self.sent = False

    def more(self):
        if not self.sent:
            self.sent = True
            return self.data
        raise OSError(104, "connection cut")


class CuttingHandler(FTPHandler):
    def ftp_RETR(self, file):
        try:
            with open(file, "rb") as f:
                data = f.read()
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        self.push_dtp_data(CutProducer(data), isproducer=True, cmd="RETR")
        return file


def main():
    p = argparse.ArgumentParser()
    p.add_argument("-i", default="127.0.0.1")
    p.add_argument("-p", type=int, default=0)
    p.add_argument("-u", required=True)
    p.add_argument("-P", required=True)
    p.add_argument("-d", required=True)
    a = p.parse_args()
    config_logging(level=logging.DEBUG)
    auth = DummyAuthorizer()
    auth.add_user(a.u, a.P, a.d, perm="elr")
    CuttingHandler.authorizer = auth
    FTPServer((a.i, a.p), CuttingHandler).serve_forever()


if __name__ == "__main__":
    main()
