#!/usr/bin/env python3
# Every program the build finds or a script calls must come from a Debian package that
# scripts/install-deps.sh installs, or from what those packages pull in (their Depends and
# Pre-Depends), or from the base system (Essential and required packages). A program that a
# developer installed by hand passes on that machine and fails on the next fresh one; this
# check names it with its package. It looks at:
#   - find_program() in every CMakeLists.txt and *.cmake file,
#   - the compilers of the toolchain files and presets, and the presets' generator,
#   - the commands of scripts/*.sh, the tests' shell scripts, .ci/run and the Makefile's recipes.
# Run it after scripts/install-deps.sh --all (it reads what dpkg knows; it installs nothing).
# Exit 0 when everything is covered, 1 with one line per program that is not; -v lists them all.
"""Checks that every program the build and the scripts use comes from the install step."""
import glob
import json
import os
import re
import subprocess
import sys

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
VERBOSE = "-v" in sys.argv[1:]
# A package of another architecture (wine32:i386) counts by its name, as dpkg lists it.
LIST = [p.split(":")[0] for p in subprocess.run(["scripts/install-deps.sh", "--list", "--all"],
                                                check=True, capture_output=True,
                                                text=True).stdout.split()]

# ---- what dpkg knows: installed packages, their dependencies and what they provide ----
FIELDS = "${Package}\t${db:Status-Abbrev}\t${Essential}\t${Priority}\t${Pre-Depends}\t" \
         "${Depends}\t${Provides}\n"
rows = subprocess.run(["dpkg-query", "-W", "-f", FIELDS], check=True, capture_output=True,
                      text=True).stdout.splitlines()
installed, deps, providers, base = set(), {}, {}, set()


def names(field):
    """Alternative groups of a dependency field: [[name, ...], ...] without versions."""
    groups = []
    for group in filter(None, (g.strip() for g in field.split(","))):
        groups.append([re.sub(r"[\s(:\[].*", "", alt.strip()) for alt in group.split("|")])
    return groups


for row in rows:
    pkg, status, essential, priority, pre, dep, provides = (row.split("\t") + [""] * 7)[:7]
    if not status.startswith("ii"):
        continue
    installed.add(pkg)
    deps[pkg] = names(pre) + names(dep)
    for group in names(provides):
        providers.setdefault(group[0], []).append(pkg)
    if essential == "yes" or priority == "required":
        base.add(pkg)


def resolve(name):
    """The installed packages that satisfy one dependency name (a package or a virtual one)."""
    if name in installed:
        return [name]
    return providers.get(name, [])


# The closure of the install list: a fresh machine gets these and nothing else. Of
# alternatives, apt takes the first one, so only the first counts.
closure, todo = set(base), list(LIST)
not_installed = [p for p in LIST if p not in installed]
while todo:
    for pkg in resolve(todo.pop()):
        if pkg in closure:
            continue
        closure.add(pkg)
        for group in deps.get(pkg, []):
            todo.extend(group[:1])

# ---- the programs the build and the scripts use ----
uses = {}  # program -> where it is used


def use(program, where):
    uses.setdefault(program, where)


KEYWORDS = {"NAMES", "HINTS", "PATHS", "PATH_SUFFIXES", "DOC", "REQUIRED", "NO_CACHE",
            "NO_DEFAULT_PATH", "NO_CMAKE_PATH", "NO_SYSTEM_ENVIRONMENT_PATH", "VALIDATOR",
            "NO_CMAKE_SYSTEM_PATH", "CMAKE_FIND_ROOT_PATH_BOTH", "ONLY_CMAKE_FIND_ROOT_PATH",
            "NO_CMAKE_FIND_ROOT_PATH", "NAMES_PER_DIR", "REGISTRY_VIEW", "ENV"}
alternatives = {}  # a find_program with several NAMES is satisfied by any one of them
cmake_files = [f for f in glob.glob("**/CMakeLists.txt", recursive=True) +
               glob.glob("**/*.cmake", recursive=True) if not f.startswith("build/")]
for path in sorted(cmake_files):
    text = re.sub(r"#[^\n]*", "", open(path, encoding="utf-8").read())
    for m in re.finditer(r"find_program\s*\(([^)]*)\)", text):
        args = m.group(1).split()
        if len(args) < 2:
            continue
        if "NAMES" in args:
            i = args.index("NAMES") + 1
            found = []
            while i < len(args) and args[i] not in KEYWORDS:
                found.append(args[i])
                i += 1
        else:
            found = [args[1]]
        where = f"{path}: find_program({args[0]})"
        for program in found:
            use(program, where)
        if len(found) > 1:
            alternatives[where] = found
    for m in re.finditer(r"set\s*\(\s*CMAKE_\w*COMPILER\s+([^\s)]+)", text):
        use(m.group(1), f"{path}: {m.group(0).split()[0].split('(')[-1]}")

presets = json.load(open("CMakePresets.json", encoding="utf-8"))
for p in presets.get("configurePresets", []):
    if p.get("generator") == "Ninja":
        use("ninja", f"CMakePresets.json: generator of {p['name']}")
    for key, value in p.get("cacheVariables", {}).items():
        if key.endswith("_COMPILER"):
            use(value, f"CMakePresets.json: {key} of {p['name']}")

# Commands of shell scripts and Makefile recipes. A command is the first word of a line or
# of a part after | & ; ( $( `, after if/then/do/else/! and after a wrapper that runs the
# next word (timeout, exec, xvfb-run, env). Variables, quoted texts, the project's own
# programs and functions the script defines are not programs of the machine.
WRAPPERS = {"exec": 0, "timeout": 1, "xvfb-run": 0, "env": 0, "nice": 0, "command": 0,
            "xargs": 0}
WRAPPER_OPTS_WITH_ARG = {"xvfb-run": {"-s", "-n", "-e", "-f", "-p", "-w"},
                         "timeout": {"-s", "-k"}, "xargs": {"-n", "-P", "-I", "-d", "-L", "-s"}}
SHELL_WORDS = {"if", "then", "else", "elif", "fi", "in", "do", "done", "while", "until",
               "esac", "function", "time", "!", "{", "}"}
VALUE = "\x00"  # stands for a quoted text or a substitution: a value, never a program


def builtin(word):
    r = subprocess.run(["bash", "-c", f"type -t -- {word!r}"], capture_output=True, text=True)
    return r.stdout.strip() in ("builtin", "keyword")


def closing(text, i):
    """Index of the ) that closes the $( whose ( is at i, quotes and nesting skipped."""
    depth, quote = 0, None
    while i < len(text):
        c = text[i]
        if quote:
            if c == quote:
                quote = None
        elif c in "'\"":
            quote = c
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return i
        i += 1
    return len(text)


def scan(line):
    """The line with quoted texts and substitutions replaced by VALUE, and the code of its
    command substitutions, which holds commands of its own."""
    out, inner, i = [], [], 0
    while i < len(line):
        c = line[i]
        if c == "#" and (i == 0 or line[i - 1] in " \t;|&("):
            break
        if c == "\\":
            out.append(" ")
            i += 2
        elif c == "'":
            j = line.find("'", i + 1)
            i = len(line) if j < 0 else j + 1
            out.append(" " + VALUE + " ")
        elif c == '"':
            i += 1
            while i < len(line) and line[i] != '"':
                if line[i] == "\\":
                    i += 1
                elif line.startswith("$(", i):
                    j = closing(line, i + 1)
                    inner.append(line[i + 2:j])
                    i = j
                i += 1
            i += 1
            out.append(" " + VALUE + " ")
        elif line.startswith("$((", i):  # arithmetic: no commands in it
            j = line.find("))", i)
            i = len(line) if j < 0 else j + 2
            out.append(" " + VALUE + " ")
        elif line.startswith("${", i):  # a parameter expansion is a value
            j = line.find("}", i)
            i = len(line) if j < 0 else j + 1
            out.append(VALUE)
        elif line.startswith("$(", i) or c == "`":
            j = closing(line, i + 1) if c == "$" else line.find("`", i + 1)
            j = len(line) if j < 0 else j
            inner.append(line[i + (2 if c == "$" else 1):j])
            out.append(" " + VALUE + " ")
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out), inner


def commands(line):
    outer, inner = scan(line)
    outer = re.sub(r"\d*[<>]+&?\d*", " ", outer)  # redirections
    for part in re.split(r"\|\||&&|[|;&(]|\b(?:then|do|else)\b", outer):
        words = part.split()
        while words:
            word = words.pop(0)
            if word in ("for", "case", "select"):
                break
            if word in SHELL_WORDS or re.match(r"^\w+\+?=", word) or word.endswith(")"):
                continue  # keywords, assignments, case patterns
            if re.match(r"^\$\w+$", word):
                continue  # an optional wrapper in a variable ($SUDO apt-get)
            if word in WRAPPERS:
                with_arg = WRAPPER_OPTS_WITH_ARG.get(word, set())
                while words and (words[0].startswith("-") or re.match(r"^\w+=", words[0])):
                    if words.pop(0) in with_arg and words:
                        words.pop(0)
                del words[:WRAPPERS[word]]
            yield word
            if word not in WRAPPERS:
                break
    for code in inner:
        yield from commands(code)


def script_commands(text, make=False):
    if make:  # make's own variables are values; $$ is the shell's $
        text = text.replace("$$", "\x01")
        while re.search(r"\$[({][^()${}]*[)}]", text):
            text = re.sub(r"\$[({][^()${}]*[)}]", VALUE, text)
        text = text.replace("\x01", "$")
    text = re.sub(r"\b\w+\+?=\([^)]*\)", " ", text)  # array literals
    lines = re.sub(r"\\\n", " ", text).splitlines()
    defined = set(re.findall(r"^\s*(?:function\s+)?([\w-]+)\s*\(\)", text, re.M))
    heredoc = None
    for line in lines:
        if heredoc:
            heredoc = None if line.strip() == heredoc else heredoc
            continue
        m = re.search(r"<<-?\s*['\"]?(\w+)", line)
        heredoc = m.group(1) if m else None
        if make:
            if not line.startswith("\t"):
                continue
            line = line[1:].lstrip("@-+")
        for word in commands(line):
            if (VALUE in word or "$" in word or word in defined or word.startswith(("-", "./"))
                    or re.match(r"^(scripts|build|tests|docs)/", word)
                    or not re.match(r"^[\w./+\[-]+$", word)):
                continue
            yield word


shell_files = sorted(glob.glob("scripts/*.sh") + glob.glob("tests/**/*.sh", recursive=True)) + [
    ".ci/run"]
for path in shell_files:
    for word in script_commands(open(path, encoding="utf-8").read()):
        use(word, path)
for word in script_commands(open("Makefile", encoding="utf-8").read(), make=True):
    use(word, "Makefile")
for path in sorted(glob.glob("scripts/*")):  # the interpreters of the project's scripts
    first = open(path, encoding="utf-8", errors="replace").readline()
    if first.startswith("#!"):
        words = first[2:].split()
        use(words[1] if words[0].endswith("/env") and len(words) > 1 else words[0], path)

# ---- where each program comes from ----
owned = {}  # path -> package, for the packages of the closure


def package_files(pkg):
    for name in (pkg, pkg + ":amd64", pkg + ":all", pkg + ":i386"):
        path = f"/var/lib/dpkg/info/{name}.list"
        if os.path.exists(path):
            return open(path, encoding="utf-8", errors="replace").read().splitlines()
    return []


for pkg in closure:
    for f in package_files(pkg):
        owned.setdefault(f, pkg)

BIN_DIRS = ["/usr/bin", "/bin", "/usr/sbin", "/sbin"]


def candidates(program):
    """The paths a program can be reached by, its symlinks followed (alternatives, usrmerge)."""
    paths = [program] if program.startswith("/") else [f"{d}/{program}" for d in BIN_DIRS]
    out = []
    for p in paths:
        if os.path.lexists(p):
            out.append(p)
            real = os.path.realpath(p)
            if real != p:
                out.append(real)
                out.append(real.replace("/usr/bin/", "/bin/", 1))
    return out


def owner(path):
    r = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if r.returncode != 0:
        return None
    return r.stdout.split(":")[0].split(",")[0].strip()


def covered(program):
    return any(p in owned for p in candidates(program))


problems = []
checked = 0
for program, where in sorted(uses.items()):
    if builtin(program) and not program.startswith("/"):
        continue
    checked += 1
    if VERBOSE:
        print(f"  {program:34} {where}")
    if covered(program):
        continue
    group = next((g for w, g in alternatives.items() if program in g), None)
    if group and any(covered(p) for p in group):
        continue
    paths = candidates(program)
    pkg = next(filter(None, (owner(p) for p in paths)), None)
    if pkg:
        problems.append(f"{program} ({where}) comes from the package {pkg}, which "
                        f"scripts/install-deps.sh does not install and nothing it installs "
                        f"pulls in")
    elif paths:
        problems.append(f"{program} ({where}) is {paths[0]}, which no Debian package owns: "
                        f"a fresh machine does not have it")
    else:
        problems.append(f"{program} ({where}) is not on this machine, and no package of "
                        f"scripts/install-deps.sh provides it")

if not_installed:
    print("check-deps: not installed here (run scripts/install-deps.sh --all first): "
          + " ".join(not_installed))
for p in problems:
    print("check-deps: " + p)
if problems or not_installed:
    sys.exit(1)
print(f"check-deps: {checked} programs, each from a package of scripts/install-deps.sh, "
      f"what those pull in, or the base system")
