#!/usr/bin/python3
"""The README's layer map ("How the code is layered") as a rule over the
build: each target of a folder may link only targets of its own folder and
of the folders above it in the map.  Reads what CMake built from its file
API (the codemodel-v2 reply in BUILD_DIR/.cmake/api/v1/reply); prints every
link against the map and fails when there is one.

Usage: check_layers.py BUILD_DIR"""
import glob
import json
import os
import subprocess
import sys

# Each folder and the folders it uses directly, as the map's arrows say;
# what they use, it may use too.  Keep in step with README.md.
USES = {
    'common': [],
    'telnet': ['common'],
    'driver': ['telnet', 'common'],
    'emulator': ['telnet', 'common'],
    'pcsc': ['driver', 'decode'],
    'decode': ['common'],
    'app/runtime/keyed_file': ['common'],
    'app/runtime': ['common'],
    'app/runtime/qt': ['app/runtime'],
    # The library's windows not yet written on the runtime's interface.
    'app/library': ['app/runtime/keyed_file', 'app/runtime', 'app/runtime/qt'],
    'app/console': ['app/library', 'driver', 'decode'],
    'app/startup': ['app/console'],
    # The shell tool shares the console's logic (CommandConsole, the
    # scripts) with the manager.
    'cli': ['app/console', 'driver', 'decode'],
    'packaging': ['app/runtime/qt'],
}


def allowed(folder):
    seen, todo = set(), list(USES[folder])
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(USES[f])
    return seen | {folder}


def reply_indexes(reply):
    return sorted(glob.glob(os.path.join(reply, 'index-*.json')))


def main(build):
    reply = os.path.join(build, '.cmake', 'api', 'v1', 'reply')
    indexes = reply_indexes(reply)
    if not indexes:
        # CMake answers a query the build wrote for itself only from its
        # next generation on (scripts/configure writes it beforehand): one
        # more run of cmake over the build's own cache gives the reply.
        subprocess.run(['cmake', build], check=False, stdout=subprocess.DEVNULL)
        indexes = reply_indexes(reply)
    if not indexes:
        print('no CMake file API reply in', reply)
        return 1
    index = json.load(open(indexes[-1]))
    codemodel = index['reply']['codemodel-v2']
    model = json.load(open(os.path.join(reply, codemodel['jsonFile'])))
    targets = {}
    for entry in model['configurations'][0]['targets']:
        target = json.load(open(os.path.join(reply, entry['jsonFile'])))
        targets[target['id']] = target
    wrong, checked = [], 0
    for target in targets.values():
        folder = target['paths']['source']
        if folder.startswith(('tests', 'bench', 'fuzz')):
            continue
        if folder not in USES:
            wrong.append('%s (%s): a folder the map does not have' % (target['name'], folder))
            continue
        may = allowed(folder)
        for dep in target.get('dependencies', []):
            other = targets[dep['id']]
            checked += 1
            if other['paths']['source'] not in may:
                wrong.append('%s (%s) links %s (%s), which is not above it in the map' %
                             (target['name'], folder, other['name'], other['paths']['source']))
    for line in wrong:
        print(line)
    print('%d links checked, %d against the layer map' % (checked, len(wrong)))
    return 1 if wrong or checked == 0 else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
