# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: identify
short_description: Makes a KORVEL device flash its LEDs, so that it can be found in the cabinet
description:
  - Runs C(kvrctl700-cli identify) on the host, which finds the device by its MAC address on the host's
    network segment, makes it flash for I(seconds) and then tells it to switch its LEDs off.
  - Never reports C(changed), since nothing about the device changes. In check mode nothing is sent.
version_added: 1.0.0
author: kvrctl700 developers
extends_documentation_fragment:
  - kvrctl700.commissioning.search
options:
  mac:
    description: The MAC address of the device.
    type: str
    required: true
  seconds:
    description: How long it flashes (1 to 86400).
    type: int
    default: 30
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
'''

EXAMPLES = r'''
- name: Show the electrician which drive to rewire
  kvrctl700.commissioning.identify:
    mac: "02:4B:56:40:00:02"
    seconds: 60
'''

RETURN = r'''
identify:
  description: What the program did, as it says it.
  returned: success
  type: dict
  contains:
    mac:
      description: The device's MAC address.
      type: str
    name:
      description: The device's name.
      type: str
    ip:
      description: Its IP address.
      type: str
    route:
      description: How the LED frames reached it.
      type: str
      sample: broadcast on enp3s0
    seconds:
      description: How long it flashed.
      type: float
    frames:
      description: The flash frames sent.
      type: int
    ledsOff:
      description: Whether it was told to switch its LEDs off at the end (a warning says so when not).
      type: bool
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kvrctl700.commissioning.plugins.module_utils.kvrctl700 import (
    module_options, finish, identify_command, identify_outcome, program)


def main():
    module = AnsibleModule(module_options(mac=dict(type='str', required=True),
                                          seconds=dict(type='int', default=30)),
                           supports_check_mode=True)
    if not 1 <= module.params['seconds'] <= 86400:
        module.fail_json(msg='seconds takes 1 to 86400, not %d' % module.params['seconds'])
    cli = program(module)
    if module.check_mode:
        module.exit_json(changed=False, msg='check mode: %s not flashed' % module.params['mac'])
    rc, stdout, stderr = module.run_command(identify_command(cli, module.params))
    finish(module, identify_outcome(stdout, rc, stderr))


if __name__ == '__main__':
    main()
