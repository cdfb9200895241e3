# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: address_plan
short_description: Gives KORVEL devices the IP address, mask and gateway of a plan
description:
  - Runs C(kvrctl700-cli apply) on the host with an address plan for devices on its network segment,
    given inline (I(devices)) or as a plan file on the host (I(plan)).
  - The whole plan is checked before anything is sent; a plan the checks refuse sends nothing and fails
    the task, with each refused row and the reason in the message.
  - A device that already has its settings is left alone. The others are written, and each write is
    verified; the task fails, with the rows and their details in the message, when a written device does not
    answer with exactly the plan's settings (C(mismatch), C(not-seen)), or a device is not found.
  - C(changed) is true exactly when a write was sent to a device; in check mode, when one would be sent.
  - Check mode runs C(--dry-run), which searches and checks and sends nothing.
    Diff mode shows each device's settings before and after.
version_added: 1.0.0
author: kvrctl700 developers
extends_documentation_fragment:
  - kvrctl700.commissioning.search
options:
  devices:
    description:
      - The plan inline, one entry per device. Mutually exclusive with I(plan).
    type: list
    elements: dict
    suboptions:
      mac:
        description: The device's MAC address.
        type: str
        required: true
      ip:
        description: The IP address it should have.
        type: str
        required: true
      mask:
        description: The subnet mask it should have.
        type: str
        required: true
      gateway:
        description: The gateway it should have, 0.0.0.0 for none.
        type: str
        required: true
  plan:
    description:
      - A plan file on the host, CSV with the columns mac, ip, mask and gateway (others are ignored),
        as C(kvrctl700-cli search --format csv) writes it. Mutually exclusive with I(devices).
    type: path
  restart_wait_ms:
    description:
      - Waits this many milliseconds after a write before searching for the device, which restarts meanwhile.
        The program's default when not given.
    type: int
  verify_timeout_ms:
    description:
      - After that wait, searches for the written devices for at most this many milliseconds.
        The program's default when not given.
    type: int
  batch_size:
    description:
      - Writes the rows after the first verified one in groups of this many, each group verified before the
        next is sent. The program's default (all of them together) when not given.
    type: int
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
notes:
  - Statuses of a row, as the program says them - C(already-correct), C(not-found), C(refused), C(dry-run),
    C(sent), C(verified), C(mismatch), C(not-seen), C(not-sent), C(conflict) (answers for one MAC disagree).
    Only C(already-correct) and C(verified) (in check mode C(dry-run)) let the task succeed.
'''

EXAMPLES = r'''
- name: Re-address the drives of line 2
  kvrctl700.commissioning.address_plan:
    devices:
      - {mac: "02:4B:56:40:00:02", ip: 198.19.0.30, mask: 255.255.0.0, gateway: 198.19.0.254}
      - {mac: "02:4B:56:30:00:03", ip: 198.19.0.31, mask: 255.255.0.0, gateway: 198.19.0.254}

- name: Apply the segment's plan, copied to the host first
  kvrctl700.commissioning.address_plan:
    plan: /var/lib/commissioning/plan.csv
  register: applied

- name: What would change, without sending anything
  kvrctl700.commissioning.address_plan:
    plan: /var/lib/commissioning/plan.csv
  check_mode: true
  diff: true
'''

RETURN = r'''
results:
  description: One entry per row of the plan, in the order their outcomes became known.
  returned: when the program got as far as checking the plan
  type: list
  elements: dict
  contains:
    line:
      description: The row's line in the plan file; in an inline plan the first device is line 2, after the header.
      type: int
    mac:
      description: The device's MAC address.
      type: str
    name:
      description: The device's name, when it was found.
      type: str
    ip:
      description: The IP address of the plan.
      type: str
    mask:
      description: The subnet mask of the plan.
      type: str
    gateway:
      description: The gateway of the plan.
      type: str
    status:
      description: The row's outcome, one of the statuses listed in the notes.
      type: str
      sample: verified
    detail:
      description: How it was reached, or why it ended as it did.
      type: str
      sample: by unicast to 198.19.0.20 on enp3s0
    before:
      description: The settings (ip, mask, gateway) the device had when the run found it; null when not found.
      type: dict
    changed:
      description: Whether a write was sent to this device (in check mode, would be sent).
      type: bool
sent:
  description:
    - The write frames that left, one per device, as the program says them when they leave (mac, name, ip, mask,
      gateway, route, and for a plan file its line). Kept also when the run ended before its results.
  returned: when the program's output could be read
  type: list
  elements: dict
summary:
  description: The run's summary as C(kvrctl700-cli) writes it - rows, changed (devices a write went to), counts per status.
  returned: when the program got as far as checking the plan
  type: dict
  sample: {"rows": 4, "changed": 2, "counts": {"already-correct": 2, "verified": 2}, "exit": 0}
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.kvrctl700.commissioning.plugins.module_utils.kvrctl700 import (
    apply_command, module_options, finish, plan_outcome, plan_text, program)

DEVICE_OPTIONS = dict(mac=dict(type='str', required=True), ip=dict(type='str', required=True),
                      mask=dict(type='str', required=True), gateway=dict(type='str', required=True))


def main():
    module = AnsibleModule(
        module_options(devices=dict(type='list', elements='dict', options=DEVICE_OPTIONS),
                       plan=dict(type='path'),
                       restart_wait_ms=dict(type='int'),
                       verify_timeout_ms=dict(type='int'),
                       batch_size=dict(type='int')),
        mutually_exclusive=[('devices', 'plan')],
        required_one_of=[('devices', 'plan')],
        supports_check_mode=True)
    cli = program(module)
    plan = module.params['plan']
    if plan is None:
        try:
            text = plan_text(module.params['devices'])
        except ValueError as e:
            module.fail_json(msg=str(e))
        plan = os.path.join(module.tmpdir, 'plan.csv')
        with open(plan, 'w') as f:
            f.write(text)
    rc, stdout, stderr = module.run_command(apply_command(cli, plan, module.params, module.check_mode))
    finish(module, plan_outcome(stdout, rc, stderr, module.check_mode))


if __name__ == '__main__':
    main()
