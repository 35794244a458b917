'''A systemd-timedated stand-in, for what the real one cannot show: a timedated that takes a
SetTime and never answers it (parameter "Schweigen"). The real one is tested end to end.'''
# SPDX-License-Identifier: MIT

BUS_NAME = 'org.freedesktop.timedate1'
MAIN_OBJ = '/org/freedesktop/timedate1'
MAIN_IFACE = 'org.freedesktop.timedate1'
SYSTEM_BUS = True


def load(mock, parameters):
    # The mock answers one call at a time, so a call that sleeps holds the caller until its time-out.
    antwort = "__import__('time').sleep(30)" if parameters.get('Schweigen', False) else ''
    mock.AddMethods(MAIN_IFACE, [('SetTime', 'xbb', '', antwort)])
