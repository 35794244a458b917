#!/usr/bin/python3
# Starts the time service as systemd's socket activation does: it opens the listening socket on the
# address and port it is given (0: a free one), hands it over as descriptor 3 with LISTEN_FDS and
# LISTEN_PID, and becomes the service. The service is told to listen on an address it cannot have,
# so it only serves at all if it takes the socket it was given.
# Usage: UEBERGEBEN_AN=ZEITDIENST uebergeben.py --bind ADDR --port PORT [OPTION]...
# (so that a test can start it in the service's place)
# SPDX-License-Identifier: MIT
import os
import socket
import sys

programm, rest = os.environ["UEBERGEBEN_AN"], sys.argv[1:]
adresse, port, weiter = "127.0.0.1", 0, []
i = 0
while i < len(rest):
    if rest[i] == "--bind":
        adresse = rest[i + 1]
        i += 2
    elif rest[i] == "--port":
        port = int(rest[i + 1])
        i += 2
    else:
        weiter.append(rest[i])
        i += 1

lauscher = socket.socket(socket.AF_INET6 if ":" in adresse else socket.AF_INET, socket.SOCK_STREAM)
lauscher.bind((adresse, port))
lauscher.listen(64)
# The socket may have been given descriptor 3 itself, and then dup2 leaves it as Python made it:
# closed when the service is started.
if lauscher.fileno() != 3:
    os.dup2(lauscher.fileno(), 3)
os.set_inheritable(3, True)
os.environ["LISTEN_FDS"] = "1"
os.environ["LISTEN_PID"] = str(os.getpid())
os.execv(programm, [programm, "--bind", "192.0.2.1", "--port", "1", *weiter])
