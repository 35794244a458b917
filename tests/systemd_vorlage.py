'''A stand-in for systemd, as far as timedated asks it before it changes the clock: the unit
systemd-timesyncd.service, loaded and active, so that automatic time synchronisation is on.'''
# SPDX-License-Identifier: MIT

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
SYSTEM_BUS = True


def load(mock, parameters):
    mock.AddObject('/org/freedesktop/systemd1/unit/systemd_2dtimesyncd_2eservice', 'org.freedesktop.systemd1.Unit',
                   {'Id': 'systemd-timesyncd.service', 'LoadState': 'loaded', 'ActiveState': 'active',
                    'SubState': 'running'}, [])
