# The time service's systemd units, as systemd itself judges them without loading them: free of
# errors and warnings, and the service exposed no more than it must be (systemd's own scale, 0 to 10).
# SPDX-License-Identifier: MIT
import re
from pathlib import Path

HOECHSTENS = 1.0


def test_einheiten(umgebung, bau):
    # Units whose ExecStart names the built program.
    einheiten = Path(bau.zeitdienst_einheiten)
    pruefung = umgebung.ausfuehren("systemd-analyze", "verify", einheiten / "zeitdienst.socket",
                                   einheiten / "zeitdienst.service", attrappe=False)
    assert (pruefung.returncode, pruefung.stdout + pruefung.stderr) == (0, ""), "systemd-analyze verify"
    sicherheit = umgebung.ausfuehren("systemd-analyze", "security", "--offline=yes", einheiten / "zeitdienst.service",
                                     attrappe=False)
    bericht = sicherheit.stdout + sicherheit.stderr
    stufe = re.search(r"^(?:→|->) Overall exposure level for zeitdienst\.service: ([0-9.]+) ", bericht, re.M)
    assert stufe and float(stufe[1]) <= HOECHSTENS, f"exposure level above {HOECHSTENS}, or none: {bericht}"
