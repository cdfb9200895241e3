# -*- coding: utf-8 -*-
# Reads what kvrctl700-cli writes with --format jsonl and decides what it means for a task:
# results, changed, diff, failure. Pure functions over text and values; the modules run the
# program, the unit tests feed these functions lines as the program writes them.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# Longer than any line the program writes (a device, a result, a summary): refused, not parsed.
MAX_LINE_CHARS = 1 << 20

# Options every command shares: module option, command-line option.
SEARCH_OPTIONS = (('rounds', '--rounds'), ('search_timeout_ms', '--timeout'), ('quiet_ms', '--quiet'))
WRITE_OPTIONS = (('restart_wait_ms', '--restart-wait'), ('verify_timeout_ms', '--verify-timeout'),
                 ('batch_size', '--batch-size'))

# Statuses of a row that a write frame went to.
WRITTEN_STATUSES = ('sent', 'verified', 'mismatch', 'not-seen', 'conflict')
# How a plan the checks refused is reported: they send nothing.
REFUSED = 'the checks refused the plan, nothing was sent: '
# Characters that would break a plan row out of its four fields.
PLAN_FIELD_BREAKERS = ',;\t"\r\n'
SETTINGS = ('ip', 'mask', 'gateway')


class OutputError(Exception):
    """The program's output is not what it writes: nothing can be concluded from it."""


def read_events(text):
    """The JSON objects of the output, one per line, each with a member "event"."""
    events = []
    # Not splitlines(): it also splits at characters a JSON string may hold as they are.
    for number, line in enumerate(text.split('\n'), 1):
        if not line.strip():
            continue
        if len(line) > MAX_LINE_CHARS:
            raise OutputError('line %d of its output is longer than %d characters' % (number, MAX_LINE_CHARS))
        try:
            event = json.loads(line)
        except ValueError as e:
            raise OutputError('line %d of its output is not JSON (%s): %s' % (number, e, shorten(line)))
        if not isinstance(event, dict) or not isinstance(event.get('event'), str):
            raise OutputError('line %d of its output has no "event": %s' % (number, shorten(line)))
        events.append(event)
    return events


def shorten(text, limit=200):
    return text if len(text) <= limit else text[:limit] + '...'


def last_line(text):
    lines = [line for line in (text or '').split('\n') if line.strip()]
    return shorten(lines[-1]) if lines else ''


def member(event, name):
    """The object an event carries under its name ("device", "result", "summary", "error")."""
    value = event.get(name)
    if not isinstance(value, dict):
        raise OutputError('a "%s" line holds no %s object' % (event['event'], name))
    return value


def events_of(events, kind):
    return [event for event in events if event['event'] == kind]


def summary_of(events):
    summaries = events_of(events, 'summary')
    return member(summaries[-1], 'summary') if summaries else None


def error_message(events, rc, stderr):
    """Why the program ended before it had results, in its own words; None when it did not say so."""
    errors = events_of(events, 'error')
    if not errors:
        return None
    error = member(errors[-1], 'error')
    message = str(error.get('message') or last_line(stderr) or 'no message')
    reason = error.get('reason')
    return '%s (exit %s%s)' % (message, error.get('exit', rc), ', %s' % reason if reason else '')


def ended_without_summary(rc, stderr):
    said = last_line(stderr)
    if rc > 0 and said:
        return 'kvrctl700-cli failed (exit %d): %s' % (rc, said)
    return 'kvrctl700-cli ended (exit %d) without its summary line%s' % (rc, ': ' + said if said else '')


def common_arguments(params, options=SEARCH_OPTIONS):
    """Command-line options from module parameters; those left unset are not passed."""
    arguments = []
    for adapter in params.get('adapters') or []:
        arguments += ['--interface', adapter]
    for name, option in options:
        if params.get(name) is not None:
            arguments += [option, str(params[name])]
    return arguments


def search_command(cli, params):
    return [cli, 'search', '--format', 'jsonl'] + common_arguments(params)


def apply_command(cli, plan_path, params, check_mode):
    command = [cli, 'apply', plan_path, '--format', 'jsonl'] + common_arguments(params, SEARCH_OPTIONS + WRITE_OPTIONS)
    return command + ['--dry-run'] if check_mode else command


def identify_command(cli, params):
    return [cli, 'identify', params['mac'], '--seconds', str(params['seconds']), '--format', 'jsonl'] + \
        common_arguments(params)


def plan_text(devices):
    """A plan file for devices given inline (dicts of mac, ip, mask, gateway). The program checks
    the values; here only a field that would break out of its column is refused."""
    lines = ['mac,ip,mask,gateway']
    for number, device in enumerate(devices, 1):
        fields = []
        for key in ('mac',) + SETTINGS:
            value = device.get(key)
            if not isinstance(value, str) or not value.strip():
                raise ValueError('devices[%d] has no %s' % (number, key))
            if any(c in PLAN_FIELD_BREAKERS for c in value):
                raise ValueError('devices[%d].%s is not an address: %r' % (number, key, shorten(value, 40)))
            fields.append(value.strip())
        lines.append(','.join(fields))
    return '\n'.join(lines) + '\n'


def search_outcome(stdout, rc, stderr):
    """device_info's result: every device the search found, with the adapter it answered on."""
    try:
        events = read_events(stdout)
        failure = error_message(events, rc, stderr)
        if failure:
            return dict(failed=True, changed=False, msg=failure, rc=rc)
        summary = summary_of(events)
        devices = [device_record(member(event, 'device')) for event in events_of(events, 'device')]
    except OutputError as e:
        return dict(failed=True, changed=False, msg='kvrctl700-cli search: %s' % e, rc=rc)
    if summary is None:
        return dict(failed=True, changed=False, msg=ended_without_summary(rc, stderr), rc=rc, devices=devices)
    result = dict(changed=False, devices=devices, summary=summary, rc=rc)
    # Exit 1 is a search that found nothing: an answer, not a failure.
    if rc not in (0, 1):
        return dict(result, failed=True, msg='kvrctl700-cli search failed (exit %d): %s' % (rc, last_line(stderr)))
    if summary.get('devices') != len(devices):
        return dict(result, failed=True,
                    msg='kvrctl700-cli search listed %d devices, its summary counts %s' % (len(devices), summary.get('devices')))
    return dict(result, failed=False, msg='%d devices found' % len(devices))


def device_record(device):
    if not isinstance(device.get('mac'), str):
        raise OutputError('a device line has no MAC')
    adapters = device.get('adapters')
    record = dict(device)
    record['adapter'] = adapters[0] if isinstance(adapters, list) and adapters else None
    return record


def result_record(result, written_macs, check_mode):
    if not isinstance(result.get('mac'), str) or not isinstance(result.get('status'), str):
        raise OutputError('a result line has no MAC or no status')
    record = dict(result)
    record.setdefault('detail', '')
    record.setdefault('before', None)
    status = record['status']
    record['changed'] = result['mac'] in written_macs or status in WRITTEN_STATUSES or \
        (check_mode and status == 'dry-run')
    return record


def settings_text(settings):
    if not isinstance(settings, dict):
        return ''
    return ''.join('%s: %s\n' % (key, settings.get(key, '')) for key in SETTINGS)


def plan_diff(results):
    """Per device a write went (or would go) to: its settings before, and the plan's after."""
    return [dict(before_header='%s %s' % (row['mac'], row.get('name', '')),
                 after_header='%s %s' % (row['mac'], row.get('name', '')),
                 before=settings_text(row['before']),
                 after=settings_text(row))
            for row in results if row['changed']]


def row_text(row):
    where = 'line %s ' % row['line'] if 'line' in row else ''
    detail = ' (%s)' % row['detail'] if row.get('detail') else ''
    return '%s%s %s: %s%s' % (where, row['mac'], row.get('name', ''), row['status'], detail)


def status_counts(results):
    counts = {}
    for row in results:
        counts[row['status']] = counts.get(row['status'], 0) + 1
    return ', '.join('%d %s' % (count, status) for status, count in sorted(counts.items()))


def plan_outcome(stdout, rc, stderr, check_mode):
    """address_plan's result from an apply run: per row its status, detail and settings before;
    changed exactly when a write was sent (in check mode: would be sent); failed when the checks
    refused the plan or a row did not end with the plan's settings proven."""
    try:
        events = read_events(stdout)
        sent = [dict((key, value) for key, value in event.items() if key != 'event') for event in events_of(events, 'sent')]
        written_macs = set(str(write.get('mac')) for write in sent)
        results = [result_record(member(event, 'result'), written_macs, check_mode)
                   for event in events_of(events, 'result')]
        summary = summary_of(events)
        failure = error_message(events, rc, stderr)
    except OutputError as e:
        # Whether anything was written cannot be known from unreadable output: say it may have been.
        return dict(failed=True, changed=True, msg='kvrctl700-cli apply: %s' % e, rc=rc)
    changed = bool(written_macs) or any(row['changed'] for row in results) or \
        (isinstance(summary, dict) and isinstance(summary.get('changed'), int) and summary['changed'] > 0)
    outcome = dict(changed=changed, results=results, sent=sent, summary=summary, rc=rc, diff=plan_diff(results))
    if check_mode and written_macs:
        return dict(outcome, failed=True, msg='check mode: kvrctl700-cli apply sent writes to %s although it was run '
                    'with --dry-run' % ', '.join(sorted(written_macs)))
    if failure:
        # Exit 4 is a refusal by the checks, which send nothing (some come before the search).
        refused_early = rc == 4 and not written_macs
        return dict(outcome, failed=True, msg=(REFUSED if refused_early else '') + failure)
    if summary is None:
        return dict(outcome, failed=True, msg=ended_without_summary(rc, stderr))
    if summary.get('interrupted'):
        return dict(outcome, failed=True, msg='kvrctl700-cli apply was interrupted: %s' %
                    '; '.join(row_text(row) for row in results))
    refused = [row for row in results if row['status'] == 'refused']
    if refused or rc == 4:
        return dict(outcome, failed=True, msg=REFUSED + '; '.join(row_text(row) for row in refused or results))
    proven = ('already-correct', 'dry-run') if check_mode else ('already-correct', 'verified')
    unproven = [row for row in results if row['status'] not in proven]
    if unproven:
        return dict(outcome, failed=True, msg='%d of %d rows not %s: %s' % (
            len(unproven), len(results), 'ready to write' if check_mode else 'verified',
            '; '.join(row_text(row) for row in unproven)))
    if rc != 0:
        return dict(outcome, failed=True, msg='kvrctl700-cli apply failed (exit %d): %s' % (rc, last_line(stderr)))
    if summary.get('rows') != len(results):
        return dict(outcome, failed=True, msg='kvrctl700-cli apply gave %d results, its summary counts %s rows' %
                    (len(results), summary.get('rows')))
    return dict(outcome, failed=False, msg='%d rows: %s' % (len(results), status_counts(results)))


def identify_outcome(stdout, rc, stderr):
    """identify's result: how long the device flashed, and whether its LEDs were told off."""
    try:
        events = read_events(stdout)
        failure = error_message(events, rc, stderr)
        flashes = events_of(events, 'identify')
    except OutputError as e:
        return dict(failed=True, changed=False, msg='kvrctl700-cli identify: %s' % e, rc=rc)
    if failure:
        return dict(failed=True, changed=False, msg=failure, rc=rc)
    if rc != 0 or not flashes:
        return dict(failed=True, changed=False, rc=rc,
                    msg='kvrctl700-cli identify failed (exit %d): %s' % (rc, last_line(stderr) or 'nothing flashed'))
    flash = dict((key, value) for key, value in flashes[-1].items() if key != 'event')
    outcome = dict(failed=False, changed=False, rc=rc, identify=flash,
                   msg='%s %s flashed for %s s (%s)' % (flash.get('mac'), flash.get('name', ''),
                                                        flash.get('seconds'), flash.get('route', '')))
    if flash.get('ledsOff') is not True:
        outcome['warnings'] = ['the device was not told to switch its LEDs off: it may still be flashing']
    return outcome


def module_options(**own):
    """The modules' options: the program, how it searches, and those of the module itself."""
    options = dict(executable=dict(type='path', default='kvrctl700-cli'),
                   adapters=dict(type='list', elements='str'),
                   rounds=dict(type='int'),
                   search_timeout_ms=dict(type='int'),
                   quiet_ms=dict(type='int'))
    options.update(own)
    return options


def program(module):
    """The path of kvrctl700-cli: the option as given when it names a path, else found on PATH."""
    executable = module.params['executable']
    if '/' in executable:
        return executable
    return module.get_bin_path(executable, required=True)


def finish(module, outcome):
    """Ends the module with an outcome of the functions above."""
    outcome = dict(outcome)
    if not module._diff:
        outcome.pop('diff', None)
    if outcome.pop('failed'):
        module.fail_json(**outcome)
    module.exit_json(**outcome)
