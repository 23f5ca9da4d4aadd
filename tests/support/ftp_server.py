#!/ usr / bin / python3
"""An FTP server for Fernhold's tests, built on pyftpdlib.

Serves --root to one user on 127.0.0.1, binds a free port and prints
"PORT <number>" once it accepts connections. Options make it misbehave the
way real servers do: lower-case or refused FEAT, no MLSD, a canned LIST or
MLSD, a first upload stored short after all, uploads aborted with 426,
a dropped connection after USER or in the middle of a transfer (once or
several times), a stalled transfer, commands never answered, a reply line of
100 KB, a slow login. Every login is counted. --anonymous lets "anonymous" log in
with any password and write, as a public upload server does.
"""

import argparse
import logging
import os
import sys
import time
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, proto_cmds
from pyftpdlib.servers import FTPServer

LONG_TEXT = "x" * 100_000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="fern")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--feat", choices=["normal", "lower", "refuse"], default="normal")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--list-file", help="send this file's bytes as every LIST answer")
    parser.add_argument("--mlsd-file", help="send this file's bytes as every MLSD answer")
    parser.add_argument("--shorten-first-store", action="store_true",
                        help="keep only half of the first stored file, still answering 226")
    parser.add_argument("--abort-stores", type=int, default=0,
                        help="answer this many first STORs with 426, storing nothing")
    parser.add_argument("--login-log", help="append a line to this file at every login")
    parser.add_argument("--login-delay", type=float, default=0.0,
                        help="seconds a login takes, as on a slow or distant server")
    parser.add_argument("--drop-after-user", action="store_true")
    parser.add_argument("--drop-transfer-after", type=int, default=-1,
                        help="close the connections after this many data bytes of a transfer")
    parser.add_argument("--drop-transfers", type=int, default=1,
                        help="how many transfers --drop-transfer-after cuts short")
    parser.add_argument("--stall-transfer-after", type=int, default=-1,
                        help="stop sending data, connections left open, after this many bytes")
    parser.add_argument("--stall-command", action="append", default=[],
                        help="read this command (MLSD, RETR, ...) and never answer it")
    parser.add_argument("--long-reply", choices=["banner", "pwd"])
    parser.add_argument("--anonymous", action="store_true")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    commands = dict(proto_cmds)
    if args.feat == "refuse":
        del commands["FEAT"]
    if args.no_mlsd or args.list_file:
        commands.pop("MLSD", None)
        commands.pop("MLST", None)

    drops = {"left": args.drop_transfers}
    stalled_commands = {name.upper() for name in args.stall_command}
    shortened = {"done": not args.shorten_first_store}
    aborts = {"left": args.abort_stores}
    limit = args.drop_transfer_after
    stall = args.stall_transfer_after

    def drop_due(dtp, count):
        return limit >= 0 and drops["left"] > 0 and count >= limit and not dtp.cmd_channel._closed

    def drop_now(dtp):
        drops["left"] -= 1
        dtp.cmd_channel.close()  # closes the data channel too

    class Dtp(DTPHandler):
        def handle_read(self):
            super().handle_read()
            if drop_due(self, self.tot_bytes_received):
                drop_now(self)

        handle_read_event = handle_read  # the base class binds its own method

        def send(self, data):
            if drop_due(self, self.tot_bytes_sent):
                drop_now(self)
                return 0
            if stall >= 0 and self.tot_bytes_sent >= stall:
                self.del_channel()  # silent from now on, socket still open
                return 0
            return super().send(data)

    class Handler(FTPHandler):
        proto_cmds = commands
        dtp_handler = Dtp
#Names are bytes on disk; keep those that are not UTF - 8 intact.
        unicode_errors = "surrogateescape"
        use_sendfile = False
        auth_failed_timeout = 0
        banner = ("Fernhold test server " + LONG_TEXT) if args.long_reply == "banner" \
            else "Fernhold test server"

        def push(self, text):
#Replies name paths as well(MKD, CWD, PWD) : those that are not
#UTF - 8 go out as their own bytes, as they came in.
            super(FTPHandler, self).push(text.encode("utf8", self.unicode_errors))

        def pre_process_command(self, line, cmd, arg):
            if cmd in stalled_commands:
                return  # no reply ever; the connections stay open
            return super().pre_process_command(line, cmd, arg)

        def ftp_STOR(self, file, mode="w"):
            if aborts["left"] > 0:
                aborts["left"] -= 1
                self.respond("426 Connection closed; transfer aborted.")
                return
            return super().ftp_STOR(file, mode)

        def on_login(self, username):
            if args.login_delay > 0:
                time.sleep(args.login_delay)  # holds the whole server, as wanted
            if args.login_log:
                with open(args.login_log, "a") as logins:
                    logins.write(username + "\n")

        def ftp_USER(self, line):
            if args.drop_after_user:
                self.close()
                return
            return super().ftp_USER(line)

        def ftp_FEAT(self, line):
            if args.feat == "lower":
                self.push("211-Features:\r\n utf8\r\n size\r\n")
                self.respond("211 End")
                return
            return super().ftp_FEAT(line)

        def ftp_PWD(self, line):
            if args.long_reply == "pwd":
                self.respond('257 "/%s" is the current directory.' % LONG_TEXT)
                return
            return super().ftp_PWD(line)

        def ftp_MLSD(self, path):
            if args.mlsd_file:
                with open(args.mlsd_file, "rb") as listing:
                    self.push_dtp_data(listing.read(), isproducer=False, cmd="MLSD")
                return path
            return super().ftp_MLSD(path)

        def on_file_received(self, file):
#Runs before the next command is read, so the client's SIZE
#after the 226 already sees the short file.
            if not shortened["done"]:
                shortened["done"] = True
                os.truncate(file, os.path.getsize(file) // 2)

        def ftp_LIST(self, path):
            if args.list_file:
                with open(args.list_file, "rb") as listing:
                    self.push_dtp_data(listing.read(), isproducer=False, cmd="LIST")
                return path
            return super().ftp_LIST(path)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.anonymous:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # the warning about a writing anonymous user
            authorizer.add_anonymous(args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer

    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
