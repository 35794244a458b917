'''A systemd-timedated stand-in for the tests: SetTime answers as timedated does, or refuses as
timedated does while automatic time synchronisation is on (parameter "Ablehnen").'''
# SPDX-License-Identifier: MIT

import dbus

BUS_NAME = 'org.freedesktop.timedate1'
MAIN_OBJ = '/org/freedesktop/timedate1'
MAIN_IFACE = 'org.freedesktop.timedate1'
SYSTEM_BUS = True


def load(mock, parameters):
    if parameters.get('Ablehnen', False):
        antwort = ("raise dbus.exceptions.DBusException('Automatic time synchronization is enabled', "
                   "name='org.freedesktop.timedate1.AutomaticTimeSyncEnabled')")
    else:
        antwort = ''
    mock.AddMethods(MAIN_IFACE, [('SetTime', 'xbb', '', antwort)])
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({'NTP': parameters.get('Ablehnen', False)}, signature='sv'))
