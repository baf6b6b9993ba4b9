#!/usr/bin/python3
# The classes of app/ with more than 12 members (data members and member
# functions; deleted special members and nested types are not counted),
# read from the compile commands of a build (configured with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON). Needs Debian's python3-clang-14.
#
#   /usr/bin/python3 scripts/house/class_members.py build .
import os, sys, json, clang.cindex as ci
ci.Config.set_library_file('/usr/lib/llvm-14/lib/libclang.so.1')
db = json.load(open(sys.argv[1] + '/compile_commands.json'))
root = os.path.realpath(sys.argv[2])
seen = {}
for e in db:
    f = e['file']
    if '/app/' not in f: continue
    args = e['command'].split()[1:] if 'command' in e else e['arguments'][1:]
    args = [a for a in args if a not in ('-c',) and not a.endswith('.o') and a != f and a != '-o']
    idx = ci.Index.create()
    tu = idx.parse(f, args=args + ['-std=c++20'])
    def walk(c):
        for ch in c.get_children():
            loc = ch.location.file
            if ch.kind in (ci.CursorKind.CLASS_DECL, ci.CursorKind.STRUCT_DECL, ci.CursorKind.CLASS_TEMPLATE) and ch.is_definition() and loc and ('/app/' in loc.name):
                key = (loc.name, ch.spelling)
                if key in seen: continue
                fields = methods = 0
                for m in ch.get_children():
                    if m.kind == ci.CursorKind.FIELD_DECL: fields += 1
                    elif m.kind in (ci.CursorKind.CXX_METHOD, ci.CursorKind.FUNCTION_TEMPLATE):
                        # "= delete": not a member anyone can call.
                        words = [t.spelling for t in m.get_tokens()]
                        if words[-2:] == ['=', 'delete'] or words[-3:] == ['=', 'delete', ';']: continue
                        methods += 1
                seen[key] = (fields, methods)
            if ch.kind in (ci.CursorKind.NAMESPACE, ci.CursorKind.CLASS_DECL, ci.CursorKind.STRUCT_DECL, ci.CursorKind.CLASS_TEMPLATE) or ch.kind == ci.CursorKind.UNEXPOSED_DECL:
                walk(ch)
    walk(tu.cursor)
for (f, n), (fi, me) in sorted(seen.items(), key=lambda kv: -(kv[1][0]+kv[1][1])):
    if fi + me > 12:
        print(f"{fi+me:3d} = {fi:2d} fields + {me:2d} methods  {n}  {f.replace(root+'/','')}")
sys.exit(1 if any(fi + me > 12 for fi, me in seen.values()) else 0)
