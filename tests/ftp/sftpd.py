#!/usr/bin/python3
"""An SFTP server for the tests (asyncssh): password login for one user, served from a root
directory, with the host key in KEY (an Ed25519 key is made there if the file is missing).
Prints "host key SHA256:..." and "listening on PORT" once it accepts connections."""
import argparse
import asyncio
import os
import sys

import asyncssh


def main():
    p = argparse.ArgumentParser()
    p.add_argument("-i", default="127.0.0.1")
    p.add_argument("-p", type=int, default=0)
    p.add_argument("-u", required=True)
    p.add_argument("-P", required=True)
    p.add_argument("-d", required=True)
    p.add_argument("-k", required=True)
    a = p.parse_args()
    if not os.path.exists(a.k):
        asyncssh.generate_private_key("ssh-ed25519").write_private_key(a.k)
    key = asyncssh.read_private_key(a.k)
    print("host key %s" % key.get_fingerprint("sha256"), flush=True)

    class Server(asyncssh.SSHServer):
        def connection_made(self, conn):
            print("session opened", flush=True)

        def connection_lost(self, exc):
            print("session closed", flush=True)

        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return True

        def validate_password(self, username, password):
            ok = username == a.u and password == a.P
            print("login %s %s" % (username, "accepted" if ok else "refused"), flush=True)
            return ok

    async def serve():
        server = await asyncssh.create_server(
            Server, a.i, a.p, server_host_keys=[a.k],
            sftp_factory=lambda chan: asyncssh.SFTPServer(chan, chroot=a.d.encode()),
            allow_scp=False, reuse_address=True)   # a test restarts it on the same port
        port = server.sockets[0].getsockname()[1]
        print("listening on %d" % port, flush=True)
        await asyncio.Event().wait()

    asyncio.run(serve())


if __name__ == "__main__":
    sys.exit(main())
