#!/usr/bin/python3
"""The README's layer map ("How the code is layered") as a rule over the
build, read from the drawing itself so that the two cannot drift apart.

Each entry of the drawing is a folder (`session/`), the CMake targets it
holds in brackets, and after an arrow the targets its targets link
(`-> KVR7x, kvr_decode`).  A folder may use the folders its arrows name,
what those may use in turn, and the first folder of the drawing (common/),
which every layer below it may use.  A file belongs to the longest folder of
the drawing that holds it (keyed_file/sqlite/ is keyed_file/).

  links     each target of a folder links only targets of its own folder and
            of the folders it may use (the codemodel's dependencies);
  includes  each source and header of a folder includes only headers of its
            own folder and of the folders it may use, each include resolved
            as the compiler does: beside the file for "...", then along the
            include directories of the target that compiles it (a header
            not compiled by itself, or a file no target of this build
            compiles, such as Windows code, takes those of the targets of
            its folder).  Headers outside the source tree (system, Qt,
            SQLite, libpq) and the build's generated ones are fine.

Both read CMake's file API reply (codemodel-v2 in BUILD_DIR/.cmake/api/v1),
print every finding and fail when there is one, or when the drawing names a
target that its folder does not build.

Usage: check_layers.py BUILD_DIR links|includes"""
import glob
import json
import os
import re
import subprocess
import sys

ENTRY = re.compile(r'^[ |+\-]*([a-z0-9_]+(?:/[a-z0-9_]+)*)/\s+\[')
ARROW = re.compile(r'(?<![<\-])->\s*([^:;.]*)')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCE_SUFFIXES = ('.h', '.hpp', '.c', '.cc', '.cpp')


class MapError(Exception):
    pass


def read_map(readme):
    """The drawing's entries: {folder: (targets, arrow names)}, in order."""
    lines = open(readme, encoding='utf-8').read().split('\n')
    try:
        start = lines.index('## How the code is layered')
    except ValueError:
        raise MapError('%s has no section "How the code is layered"' % readme)
    entries, current, in_drawing = {}, None, False
    for line in lines[start + 1:]:
        if line.startswith('    '):
            in_drawing = True
            match = ENTRY.match(line[4:])
            if match:
                current = match.group(1)
                if current in entries:
                    raise MapError('the drawing has %s/ twice' % current)
                entries[current] = []
                line = line[4 + match.start(1):]
            if current is not None:
                entries[current].append(line.strip(' |+-'))
        elif line.strip() and in_drawing:
            break
    if not entries:
        raise MapError('the drawing in %s has no entries' % readme)
    layers = {}
    for folder, text in entries.items():
        text = ' '.join(text)
        targets = [name.strip() for group in re.findall(r'\[([^\]]+)\]', text) for name in group.split(',')]
        arrows = [item.split()[0] for found in ARROW.findall(text) for item in found.split(',') if item.split()]
        layers[folder] = (targets, arrows)
    return layers


def uses_from(layers):
    """Each folder and the folders its arrows name (and the base folder)."""
    owner = {name: folder for folder, (targets, _) in layers.items() for name in targets}
    base = next(iter(layers))
    uses = {}
    for folder, (_, arrows) in layers.items():
        unknown = [name for name in arrows if name not in owner]
        if unknown:
            raise MapError('%s/ has an arrow to %s, which no entry of the drawing holds' % (folder, ', '.join(unknown)))
        uses[folder] = {owner[name] for name in arrows} | ({base} if folder != base else set())
    return uses


def allowed(uses, folder):
    seen, todo = set(), list(uses[folder])
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(uses[f])
    return seen | {folder}


def layer_of(uses, path):
    """The longest folder of the map holding PATH (relative to the source)."""
    best = None
    for folder in uses:
        if (path + '/').startswith(folder + '/') and (best is None or len(folder) > len(best)):
            best = folder
    return best


def reply_indexes(reply):
    return sorted(glob.glob(os.path.join(reply, 'index-*.json')))


def read_codemodel(build):
    reply = os.path.join(build, '.cmake', 'api', 'v1', 'reply')
    indexes = reply_indexes(reply)
    if not indexes:
        # CMake answers a query the build wrote for itself only from its
        # next generation on (scripts/configure writes it beforehand): one
        # more run of cmake over the build's own cache gives the reply.
        subprocess.run(['cmake', build], check=False, stdout=subprocess.DEVNULL)
        indexes = reply_indexes(reply)
    if not indexes:
        raise MapError('no CMake file API reply in ' + reply)
    index = json.load(open(indexes[-1]))
    codemodel = index['reply']['codemodel-v2']
    model = json.load(open(os.path.join(reply, codemodel['jsonFile'])))
    targets = {}
    for entry in model['configurations'][0]['targets']:
        target = json.load(open(os.path.join(reply, entry['jsonFile'])))
        targets[target['id']] = target
    return model['paths'], targets


def project_targets(targets):
    for target in targets.values():
        if not target['paths']['source'].startswith(('tests', 'bench', 'fuzz')):
            yield target


def check_drawn_targets(layers, targets):
    """Each name in a folder's brackets is a target (or its file) of that
    folder, in a build that makes the folder's targets at all."""
    wrong = []
    built = {}
    for target in targets.values():
        names = built.setdefault(target['paths']['source'], set())
        names.add(target['name'])
        stem = target.get('nameOnDisk', '').split('.')[0]
        names.update({stem, stem[3:] if stem.startswith('lib') else stem})
    for folder, (names, _) in layers.items():
        made = [built[f] for f in built if layer_of({folder: 0}, f) == folder]
        if not made:
            continue  # a part this build leaves out (KVR_BUILD_APP=OFF, ...)
        for name in names:
            if not any(name in names_of_folder for names_of_folder in made):
                wrong.append('README.md: %s/ holds [%s], which the build has no target of' % (folder, name))
    return wrong


def check_links(uses, targets):
    wrong, checked = [], 0
    for target in project_targets(targets):
        folder = target['paths']['source']
        layer = layer_of(uses, folder)
        if layer is None:
            wrong.append('%s (%s): a folder the map does not have' % (target['name'], folder))
            continue
        may = allowed(uses, layer)
        for dep in target.get('dependencies', []):
            other = targets[dep['id']]
            checked += 1
            if layer_of(uses, other['paths']['source']) not in may:
                wrong.append('%s (%s) links %s (%s), which is not above it in the map' %
                             (target['name'], folder, other['name'], other['paths']['source']))
    return wrong, '%d links checked' % checked, checked


def include_dirs(target, group):
    return [include['path'] for include in target['compileGroups'][group].get('includes', [])]


def files_to_check(uses, paths, targets):
    """{source-relative file: [include directories]} for every file of the map."""
    source, build = paths['source'], paths['build']
    dirs, by_layer = {}, {}
    for target in project_targets(targets):
        for file in target.get('sources', []):
            if 'compileGroupIndex' not in file or os.path.isabs(file['path']):
                continue  # generated in the build folder
            layer = layer_of(uses, file['path'])
            if layer is None:
                continue  # a folder the map does not have: the links say so
            found = include_dirs(target, file['compileGroupIndex'])
            dirs.setdefault(file['path'], found)
            for where in (os.path.dirname(file['path']), layer):
                merged = by_layer.setdefault(where, [])
                merged.extend(d for d in found if d not in merged)
    for folder in uses:
        for root, subdirs, names in os.walk(os.path.join(source, folder)):
            subdirs[:] = [d for d in subdirs if not os.path.samefile(os.path.join(root, d), build)]
            for name in names:
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.relpath(os.path.join(root, name), source)
                    if path not in dirs:
                        near = by_layer.get(os.path.dirname(path)) or by_layer.get(layer_of(uses, path), [])
                        dirs[path] = near
    return dirs


def resolve(source_root, path, quoted, name, dirs):
    candidates = ([os.path.join(source_root, os.path.dirname(path))] if quoted else []) + dirs
    for where in candidates:
        found = os.path.join(where, name)
        if os.path.isfile(found):
            return os.path.normpath(found)
    return None


def check_includes(uses, paths, targets):
    source, build = paths['source'], paths['build']
    wrong, checked = [], 0
    files = files_to_check(uses, paths, targets)
    for path in sorted(files):
        layer = layer_of(uses, path)
        may = allowed(uses, layer)
        text = open(os.path.join(source, path), encoding='utf-8', errors='replace').read()
        for kind, name in INCLUDE.findall(text):
            checked += 1
            found = resolve(source, path, kind == '"', name, files[path])
            if found is None or found.startswith(build + os.sep) or not found.startswith(source + os.sep):
                continue  # system, third-party or generated
            header = os.path.relpath(found, source)
            other = layer_of(uses, header)
            if other is None:
                wrong.append('%s (%s) includes %s, which is in no folder of the map' % (path, layer, header))
            elif other not in may:
                wrong.append('%s (%s) includes %s (%s), which is not above it in the map' %
                             (path, layer, header, other))
    return wrong, '%d includes of %d files checked' % (checked, len(files)), checked


def main(build, what):
    try:
        paths, targets = read_codemodel(build)
        layers = read_map(os.path.join(paths['source'], 'README.md'))
        uses = uses_from(layers)
    except MapError as error:
        print(error)
        return 1
    check = {'links': lambda: check_links(uses, targets),
             'includes': lambda: check_includes(uses, paths, targets)}[what]
    wrong, summary, checked = check()
    wrong = check_drawn_targets(layers, targets) + wrong
    for line in wrong:
        print(line)
    print('%s, %d against the layer map of README.md' % (summary, len(wrong)))
    return 1 if wrong or checked == 0 else 0


if __name__ == '__main__':
    if len(sys.argv) != 3 or sys.argv[2] not in ('links', 'includes'):
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
