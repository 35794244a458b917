#!/usr/bin/python3
# Starts the time service as systemd's socket activation does: it opens the listening socket on the
# address and port it is given (0: a free one), hands it over as descriptor 3 with LISTEN_FDS and
# LISTEN_PID, and becomes the service. The service is told to listen on an address it cannot have,
# so it only serves at all if it takes the socket it was given.
# Usage: UEBERGEBEN_AN=ZEITDIENST uebergeben.py --bind ADDR --port PORT [OPTION]...
# (so that a test can start it in the service's place)
# SPDX-License-Identifier: MIT
import argparse
import os
import socket

programm = os.environ["UEBERGEBEN_AN"]
leser = argparse.ArgumentParser(allow_abbrev=False, add_help=False)
leser.add_argument("--bind", default="127.0.0.1")
leser.add_argument("--port", type=int, default=0)
ort, weiter = leser.parse_known_args()

lauscher = socket.socket(socket.AF_INET6 if ":" in ort.bind else socket.AF_INET, socket.SOCK_STREAM)
lauscher.bind((ort.bind, ort.port))
lauscher.listen(64)
# The socket may have been given descriptor 3 itself, and then dup2 leaves it as Python made it:
# closed when the service is started.
os.dup2(lauscher.fileno(), 3)
os.set_inheritable(3, True)
os.environ.update(LISTEN_FDS="1", LISTEN_PID=str(os.getpid()))
os.execv(programm, [programm, "--bind", "192.0.2.1", "--port", "1", *weiter])
