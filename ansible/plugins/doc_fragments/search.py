# -*- coding: utf-8 -*-
# The options every module of this collection shares: the program, and how it searches.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  executable:
    description:
      - The C(kvrctl700-cli) program to run, a name looked up on the host's C(PATH) or a path.
    type: path
    default: kvrctl700-cli
  adapters:
    description:
      - Searches through these network adapters of the host only (C(--interface), repeated).
      - By default every adapter that is up, has an IPv4 address and can broadcast.
    type: list
    elements: str
  rounds:
    description:
      - Sends the search at least this many times; it goes on while a round still finds new devices.
      - The program's default when not given.
    type: int
  search_timeout_ms:
    description:
      - Ends the search after this many milliseconds at the latest. The program's default when not given.
    type: int
  quiet_ms:
    description:
      - Ends a search round once no reply has come for this many milliseconds.
        The program's default when not given.
    type: int
requirements:
  - C(kvrctl700-cli) on the managed host, with the right to bind UDP port 102
    (the C(kvrctl700) package grants it).
notes:
  - A search is a broadcast, which reaches the segment the host is on only. Give each segment a host of its own
    in the inventory (a jump host, an edge box, or a network namespace on one machine).
'''
