# The Linux HTTP client's unit tests, against the tests' time services on loopback, each named to
# them in DADAVIRU_ZEITDIENSTE.
# SPDX-License-Identifier: MIT
import pytest

from dienste import inet_dienste_starten


@pytest.mark.ctest(zeitlimit=300)
def test_http_client(umgebung, dienste, bau):
    namen = inet_dienste_starten(dienste)
    umgebung.ausfuehren(bau.inet_tests, zeitlimit=240, env={"DADAVIRU_ZEITDIENSTE": namen}, pruefen=True)
