# -*- coding: utf-8 -*-
# The modules' logic on kvrctl700-cli's jsonl lines as the program writes them: what a task
# reports (changed, failed, its message, the diff) for each way a run can end.
#
#   python3 -m unittest discover -s ansible/tests/unit      (or python3 -m pytest ansible/tests/unit)

import json
import os
import sys
import unittest

# The shared module is plain Python: imported from its folder, without an installed collection.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'plugins', 'module_utils'))
import kvrctl700 as kvr  # noqa: E402

VFD = dict(mac='02:4B:56:40:00:02', name='LINE2-VFD', ip='198.19.0.30', mask='255.255.0.0', gateway='198.19.0.254')
VFD_BEFORE = dict(ip='198.19.0.20', mask='255.255.0.0', gateway='198.19.0.254')
PLC = dict(mac='02:4B:56:10:00:01', name='LINE1-PLC', ip='198.18.0.10', mask='255.255.0.0', gateway='198.18.0.254')
PLC_BEFORE = dict(ip='198.18.0.10', mask='255.255.0.0', gateway='198.18.0.254')


def lines(*objects):
    # ensure_ascii=False: the program writes UTF-8 as it is, not \u escapes.
    return ''.join(json.dumps(o, ensure_ascii=False, separators=(',', ':')) + '\n' for o in objects)


def sent(device, line):
    return dict(event='sent', line=line, route='unicast to 198.19.0.20 on kvrsim1', **device)


def result(device, line, status, detail='', before=None):
    return dict(event='result', result=dict(device, line=line, status=status, detail=detail, before=before))


def summary(rows, changed, exit=0, **extra):
    return dict(event='summary', summary=dict(rows=rows, changed=changed, exit=exit, **extra))


def error(exit, message, reason=None):
    body = dict(exit=exit, message=message)
    if reason:
        body['reason'] = reason
    return dict(event='error', error=body)


def device(mac, name, ip, adapters=('kvrsim0',)):
    return dict(event='device', device=dict(type='PLC', name=name, mac=mac, ip=ip, mask='255.255.0.0',
                                            gateway='198.18.0.254', version='1.3.2.0', points='0.32.0.24',
                                            adapters=list(adapters), reach='unicast', rounds=5, findings=[]))


class PlanOutcome(unittest.TestCase):
    # name: (output, exit status, standard error, check mode, failed, changed, words the message holds,
    #        MACs the diff shows)
    CASES = {
        'a verified write is changed': (
            lines(result(PLC, 2, 'already-correct', before=PLC_BEFORE), sent(VFD, 4),
                  result(VFD, 4, 'verified', 'by unicast to 198.19.0.20 on kvrsim1', VFD_BEFORE),
                  summary(2, 1, counts={'already-correct': 1, 'verified': 1})),
            0, '', False, False, True, ['1 already-correct', '1 verified'], [VFD['mac']]),
        'a plan already in place changes nothing': (
            lines(result(PLC, 2, 'already-correct', before=PLC_BEFORE), summary(1, 0)),
            0, '', False, False, False, ['1 already-correct'], []),
        'check mode: a row that would be written is changed': (
            lines(result(PLC, 2, 'already-correct', before=PLC_BEFORE), result(VFD, 3, 'dry-run', before=VFD_BEFORE),
                  summary(2, 0)),
            0, '', True, False, True, ['1 dry-run'], [VFD['mac']]),
        'check mode: a write frame despite --dry-run fails': (
            lines(sent(VFD, 3), result(VFD, 3, 'verified', before=VFD_BEFORE), summary(1, 1)),
            0, '', True, True, True, ['check mode', VFD['mac']], [VFD['mac']]),
        'a refused plan fails with the reason and changes nothing': (
            lines(result(PLC, 2, 'not-sent', 'the plan was refused', PLC_BEFORE),
                  result(VFD, 3, 'refused', 'gateway 198.18.0.254 is outside the subnet 198.19.0.0/16', VFD_BEFORE),
                  summary(2, 0, exit=4)),
            4, 'kvrctl700-cli apply: line 3: refused', False, True, False,
            ['nothing was sent', 'line 3', 'gateway 198.18.0.254 is outside the subnet'], []),
        'a plan refused before the search fails with the reason and changes nothing': (
            lines(error(4, 'line 3: refused: IP address 198.19.0.30 is already given to 02:4B:56:40:00:02 on line 2')),
            4, '', False, True, False, ['nothing was sent', 'line 3', 'already given to'], []),
        'a device that refuses the write fails its host, changed': (
            lines(sent(VFD, 2), result(VFD, 2, 'mismatch', 'still answers with its previous settings', VFD_BEFORE),
                  summary(1, 1, exit=1)),
            1, '', False, True, True, ['1 of 1 rows not verified', 'mismatch', 'previous settings'], [VFD['mac']]),
        'a written device never seen again fails': (
            lines(sent(VFD, 2), result(VFD, 2, 'not-seen', 'no answer within 8000 ms', VFD_BEFORE), summary(1, 1, exit=1)),
            1, '', False, True, True, ['not-seen'], [VFD['mac']]),
        'a device not found fails, nothing written': (
            lines(result(VFD, 2, 'not-found', 'no device with this MAC answered'), summary(1, 0, exit=1)),
            1, '', False, True, False, ['not-found'], []),
        # Only a write that left can end in a conflict: changed, even with its "sent" line lost.
        'answers for one MAC that disagree fail, changed': (
            lines(result(VFD, 2, 'conflict', 'two answers for 02:4B:56:40:00:02', VFD_BEFORE), summary(1, 1, exit=1)),
            1, '', False, True, True, ['conflict'], [VFD['mac']]),
        'an interrupted run fails and keeps what it wrote': (
            lines(sent(VFD, 2), result(VFD, 2, 'verified', before=VFD_BEFORE),
                  result(PLC, 3, 'not-sent', 'interrupted', PLC_BEFORE), summary(2, 1, exit=5, interrupted=True)),
            5, '', False, True, True, ['interrupted', 'line 3'], [VFD['mac']]),
        'a run killed before its summary fails, changed by what it sent': (
            lines(sent(VFD, 2)), -9, '', False, True, True, ['without its summary line'], []),
        'the port held by another program fails with the reason': (
            lines(error(3, 'UDP port 102 is held by kvrctl700 (PID 17)', 'port-in-use')),
            3, 'kvrctl700-cli apply: UDP port 102 is held', False, True, False, ['held by kvrctl700 (PID 17)', 'port-in-use'], []),
        'an unreadable plan fails with the program\'s words': (
            lines(error(2, 'plan.csv: the header has no column mac')), 2, '', False, True, False, ['no column mac'], []),
        'output that is not JSON fails and may have changed something': (
            'kvrctl700-cli apply: writing\n', 0, '', False, True, True, ['line 1', 'not JSON'], []),
        'a line that is not an object fails': (
            '[1,2]\n', 0, '', False, True, True, ['no "event"'], []),
        'a result without a status fails': (
            lines(dict(event='result', result=dict(mac=VFD['mac']))), 0, '', False, True, True, ['no status'], []),
        'verified rows with a failing exit status fail': (
            lines(sent(VFD, 2), result(VFD, 2, 'verified', before=VFD_BEFORE), summary(1, 1, exit=1)),
            1, 'kvrctl700-cli apply: cannot write the results', False, True, True, ['exit 1', 'cannot write the results'], [VFD['mac']]),
        'fewer results than the summary counts fail': (
            lines(result(PLC, 2, 'already-correct', before=PLC_BEFORE), summary(2, 0)),
            0, '', False, True, False, ['1 results', 'counts 2 rows'], []),
        'a name with a line separator inside stays one line': (
            lines(result(dict(PLC, name='LINE\u0085\u2028PLC'), 2, 'already-correct', before=PLC_BEFORE), summary(1, 0)),
            0, '', False, False, False, ['1 already-correct'], []),
    }

    def test_cases(self):
        for name, (stdout, rc, stderr, check_mode, failed, changed, words, diff_macs) in self.CASES.items():
            with self.subTest(name):
                outcome = kvr.plan_outcome(stdout, rc, stderr, check_mode)
                self.assertEqual(outcome['failed'], failed, outcome['msg'])
                self.assertEqual(outcome['changed'], changed, outcome['msg'])
                for word in words:
                    self.assertIn(word, outcome['msg'])
                self.assertEqual([d['before_header'].split()[0] for d in outcome.get('diff', [])], diff_macs)

    def test_diff_shows_settings_before_and_after(self):
        outcome = kvr.plan_outcome(lines(sent(VFD, 2), result(VFD, 2, 'verified', before=VFD_BEFORE), summary(1, 1)),
                                   0, '', False)
        self.assertEqual(outcome['diff'], [dict(
            before_header='02:4B:56:40:00:02 LINE2-VFD', after_header='02:4B:56:40:00:02 LINE2-VFD',
            before='ip: 198.19.0.20\nmask: 255.255.0.0\ngateway: 198.19.0.254\n',
            after='ip: 198.19.0.30\nmask: 255.255.0.0\ngateway: 198.19.0.254\n')])

    def test_results_keep_the_rows_for_later_tasks(self):
        outcome = kvr.plan_outcome(lines(result(PLC, 2, 'already-correct', before=PLC_BEFORE), sent(VFD, 3),
                                         result(VFD, 3, 'verified', 'by unicast', VFD_BEFORE), summary(2, 1)),
                                   0, '', False)
        self.assertEqual([(r['mac'], r['status'], r['before'], r['changed']) for r in outcome['results']],
                         [(PLC['mac'], 'already-correct', PLC_BEFORE, False), (VFD['mac'], 'verified', VFD_BEFORE, True)])
        self.assertEqual(outcome['summary']['changed'], 1)

    def test_writes_of_a_killed_run_are_kept(self):
        outcome = kvr.plan_outcome(lines(sent(VFD, 2)), -9, '', False)
        self.assertEqual([(w['mac'], w['ip']) for w in outcome['sent']], [(VFD['mac'], VFD['ip'])])


class SearchOutcome(unittest.TestCase):
    # name: (output, exit status, standard error, failed, MACs returned, words the message holds)
    CASES = {
        'every device with the adapter it answered on': (
            lines(device(PLC['mac'], 'LINE1-PLC', '198.18.0.10'), device(VFD['mac'], 'LINE2-VFD', '198.19.0.20', ['kvrsim1']),
                  dict(event='summary', summary=dict(devices=2, rounds=5, adapters=[], exit=0))),
            0, '', False, [PLC['mac'], VFD['mac']], ['2 devices']),
        'an empty segment is an answer, not a failure': (
            lines(dict(event='summary', summary=dict(devices=0, rounds=5, adapters=[], exit=1))),
            1, 'kvrctl700-cli search: no device answered', False, [], ['0 devices']),
        'fewer devices than the summary counts fail': (
            lines(device(PLC['mac'], 'LINE1-PLC', '198.18.0.10'), dict(event='summary', summary=dict(devices=2, exit=0))),
            0, '', True, [PLC['mac']], ['listed 1 devices', 'counts 2']),
        'a search killed before its summary fails': (
            lines(device(PLC['mac'], 'LINE1-PLC', '198.18.0.10')), -15, '', True, [PLC['mac']], ['without its summary']),
        'no right to the port fails with the reason': (
            lines(error(3, 'UDP port 102 needs root or cap_net_bind_service', 'no-port-right')),
            3, '', True, None, ['cap_net_bind_service', 'no-port-right', 'exit 3']),
        'a failing exit status without an error object fails with standard error': (
            '', 3, 'kvrctl700-cli search: no adapter can reach devices\n', True, None, ['no adapter can reach devices']),
        'a device without a MAC fails': (
            lines(dict(event='device', device=dict(name='X')), dict(event='summary', summary=dict(devices=1, exit=0))),
            0, '', True, None, ['no MAC']),
    }

    def test_cases(self):
        for name, (stdout, rc, stderr, failed, macs, words) in self.CASES.items():
            with self.subTest(name):
                outcome = kvr.search_outcome(stdout, rc, stderr)
                self.assertEqual(outcome['failed'], failed, outcome['msg'])
                self.assertFalse(outcome['changed'])
                if macs is not None:
                    self.assertEqual([d['mac'] for d in outcome['devices']], macs)
                for word in words:
                    self.assertIn(word, outcome['msg'])

    def test_adapter_is_the_first_one_answered_on(self):
        outcome = kvr.search_outcome(lines(device(PLC['mac'], 'LINE1-PLC', '198.18.0.10', ['kvrsim1', 'kvrsim0']),
                                           dict(event='summary', summary=dict(devices=1, exit=0))), 0, '')
        self.assertEqual(outcome['devices'][0]['adapter'], 'kvrsim1')
        self.assertEqual(outcome['devices'][0]['version'], '1.3.2.0')


class IdentifyOutcome(unittest.TestCase):
    FLASH = dict(event='identify', mac=VFD['mac'], name='LINE2-VFD', ip='198.19.0.20', route='broadcast on kvrsim0',
                 seconds=3.0, frames=7, ledsOff=True)

    def test_flashing_never_changes_anything(self):
        outcome = kvr.identify_outcome(lines(self.FLASH, dict(event='summary', summary=dict(exit=0))), 0, '')
        self.assertEqual((outcome['failed'], outcome['changed']), (False, False))
        self.assertEqual(outcome['identify']['frames'], 7)
        self.assertNotIn('warnings', outcome)

    def test_leds_not_told_off_warns(self):
        outcome = kvr.identify_outcome(lines(dict(self.FLASH, ledsOff=False), dict(event='summary', summary=dict(exit=0))),
                                       0, '')
        self.assertFalse(outcome['failed'])
        self.assertIn('still be flashing', outcome['warnings'][0])

    def test_device_not_found_fails_with_the_programs_words(self):
        outcome = kvr.identify_outcome('', 1, 'kvrctl700-cli identify: no device with MAC 02:4B:56:40:00:02 answered\n')
        self.assertTrue(outcome['failed'])
        self.assertIn('no device with MAC', outcome['msg'])


class Commands(unittest.TestCase):
    def test_check_mode_is_a_dry_run(self):
        self.assertEqual(kvr.apply_command('/usr/bin/kvrctl700-cli', '/tmp/p.csv', {}, True),
                         ['/usr/bin/kvrctl700-cli', 'apply', '/tmp/p.csv', '--format', 'jsonl', '--dry-run'])
        self.assertNotIn('--dry-run', kvr.apply_command('kvrctl700-cli', 'p.csv', {}, False))

    def test_options_given_are_passed_unset_ones_are_not(self):
        params = dict(adapters=['eth1', 'eth2'], rounds=8, search_timeout_ms=None, quiet_ms=None,
                      restart_wait_ms=2500, verify_timeout_ms=None, batch_size=10)
        self.assertEqual(kvr.apply_command('cli', 'p.csv', params, False)[5:],
                         ['--interface', 'eth1', '--interface', 'eth2', '--rounds', '8', '--restart-wait', '2500',
                          '--batch-size', '10'])
        self.assertNotIn('--restart-wait', kvr.search_command('cli', params))

    def test_identify(self):
        self.assertEqual(kvr.identify_command('cli', dict(mac=VFD['mac'], seconds=5)),
                         ['cli', 'identify', VFD['mac'], '--seconds', '5', '--format', 'jsonl'])


class PlanText(unittest.TestCase):
    def test_devices_become_a_plan(self):
        self.assertEqual(kvr.plan_text([dict(VFD), dict(PLC, gateway='0.0.0.0')]),
                         'mac,ip,mask,gateway\n02:4B:56:40:00:02,198.19.0.30,255.255.0.0,198.19.0.254\n'
                         '02:4B:56:10:00:01,198.18.0.10,255.255.0.0,0.0.0.0\n')

    def test_fields_that_break_out_of_their_column_are_refused(self):
        for name, devices, words in (
                ('a comma adds a column', [dict(VFD), dict(PLC, ip='198.18.0.10,255.0.0.0')], ['devices[2].ip']),
                ('a newline adds a row', [dict(VFD, mac='02:4B:56:40:00:02\n02:4B:56:10:00:01')], ['devices[1].mac']),
                ('a semicolon changes the separator', [dict(VFD, mask='255.255.0.0;x')], ['devices[1].mask']),
                ('an empty gateway', [dict(VFD, gateway=' ')], ['devices[1] has no gateway'])):
            with self.subTest(name):
                with self.assertRaises(ValueError) as raised:
                    kvr.plan_text(devices)
                for word in words:
                    self.assertIn(word, str(raised.exception))


if __name__ == '__main__':
    unittest.main()
