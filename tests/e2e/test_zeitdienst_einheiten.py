# The time service's systemd units, as systemd itself judges them without loading them: free of
# errors and warnings, and the service exposed no more than it must be (systemd's own scale, 0 to 10).
# SPDX-License-Identifier: MIT
import re
from pathlib import Path

import pytest

HOECHSTENS = 1.0


@pytest.mark.ctest(zeitlimit=120)
def test_einheiten(umgebung, bau):
    # Units whose ExecStart names the built program.
    einheiten = Path(bau.zeitdienst_einheiten)
    pruefung = umgebung.ausfuehren("systemd-analyze", "verify", einheiten / "zeitdienst.socket",
                                   einheiten / "zeitdienst.service", attrappe=False)
    bemerkungen = pruefung.stdout + pruefung.stderr
    assert pruefung.returncode == 0, f"systemd-analyze verify: {bemerkungen}"
    assert not bemerkungen, f"systemd-analyze verify has remarks: {bemerkungen}"
    sicherheit = umgebung.ausfuehren("systemd-analyze", "security", "--offline=yes", einheiten / "zeitdienst.service",
                                     attrappe=False)
    stufe = re.search(r"^(?:→|->) Overall exposure level for zeitdienst\.service: ([0-9.]+) ",
                      sicherheit.stdout + sicherheit.stderr, re.M)
    assert stufe, f"systemd-analyze security gave no exposure level: {sicherheit.stdout}{sicherheit.stderr}"
    assert float(stufe[1]) <= HOECHSTENS, f"exposure level {stufe[1]}, more than {HOECHSTENS}"
