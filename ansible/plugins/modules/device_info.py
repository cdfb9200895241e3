# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: device_info
short_description: Lists the KORVEL devices on the host's network segment
description:
  - Runs C(kvrctl700-cli search) on the host and returns every PLC, HMI panel, servo drive and
    frequency drive that answered, with its settings, the adapter it answered on and what the
    search noticed about it (an address outside the adapter's subnet, an address another device holds).
  - Never changes anything; runs the same in check mode.
version_added: 1.0.0
author: kvrctl700 developers
extends_documentation_fragment:
  - kvrctl700.commissioning.search
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
'''

EXAMPLES = r'''
- name: List the devices of every segment
  kvrctl700.commissioning.device_info:
  register: segment

- name: Search through the plant adapter only, with more rounds on a lossy network
  kvrctl700.commissioning.device_info:
    adapters: [enp3s0]
    rounds: 8

- name: Show each device with its address
  ansible.builtin.debug:
    msg: "{{ item.name }} {{ item.mac }} {{ item.ip }} on {{ item.adapter }}"
  loop: "{{ segment.devices }}"
'''

RETURN = r'''
devices:
  description: The devices found, in the order of the table C(kvrctl700-cli search) prints.
  returned: success
  type: list
  elements: dict
  contains:
    type:
      description: PLC, HMI, SERVO, VFD, or the type code of a device of another type.
      type: str
      sample: PLC
    name:
      description: The device's name.
      type: str
      sample: LINE1-PLC
    mac:
      description: The device's MAC address.
      type: str
      sample: 02:4B:56:10:00:01
    ip:
      description: Its IP address.
      type: str
      sample: 198.18.0.10
    mask:
      description: Its subnet mask.
      type: str
      sample: 255.255.0.0
    gateway:
      description: Its gateway, 0.0.0.0 for none.
      type: str
      sample: 198.18.0.254
    version:
      description: Its software version; empty when the device does not say.
      type: str
      sample: 1.3.2.0
    points:
      description: Its I/O points; empty when the device does not say.
      type: str
      sample: 0.32.0.24
    adapter:
      description: The host's adapter the device answered on (the first, when it answered on several).
      type: str
      sample: enp3s0
    adapters:
      description: Every adapter of the host it answered on.
      type: list
      elements: str
    reach:
      description: How frames reach it, C(unicast) or C(broadcast) (outside the adapter's subnet, or an address shared with another device).
      type: str
    findings:
      description: What the search noticed about the device, in words.
      type: list
      elements: str
summary:
  description: The search's summary, as C(kvrctl700-cli) writes it.
  returned: success
  type: dict
  sample: {"devices": 4, "rounds": 5, "adapters": [{"name": "enp3s0", "addresses": ["198.18.0.1/16"]}], "exit": 0}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kvrctl700.commissioning.plugins.module_utils.kvrctl700 import (
    module_options, finish, program, search_command, search_outcome)


def main():
    module = AnsibleModule(module_options(), supports_check_mode=True)
    rc, stdout, stderr = module.run_command(search_command(program(module), module.params))
    finish(module, search_outcome(stdout, rc, stderr))


if __name__ == '__main__':
    main()
