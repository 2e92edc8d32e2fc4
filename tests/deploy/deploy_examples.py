#!/usr/bin/env python3
"""What the deployment examples in deploy/ ask Windows, read from the files
themselves, so that a wrong key, view or switch in any of them is caught.

  deploy_examples.py check     every example names the patch record in the
                               32-bit view and installs with a silent switch
  deploy_examples.py commands  each detection as a reg query, one per line:
                               label, the bitness of the process that runs
                               it (32, 64, or native), then the arguments,
                               tab-separated
  deploy_examples.py record    the patch record's key

A detection is modelled as the reg.exe query it amounts to, run by a process
of a given bitness: a query without /reg:32 or /reg:64 sees that process's
own view, which is what makes a 64-bit detection of a 32-bit program's key
go wrong.
"""
import re
import sys
from pathlib import Path

import yaml
from jinja2.nativetypes import NativeEnvironment

# The patch record as the program writes it, in the 32-bit registry view.
PATCH_RECORD = r"HKLM\Software\Korvel\Velmora\Patch\8201"
SILENT_SWITCHES = ("/s", "/S", "-s", "-S")

DEPLOY = Path(__file__).resolve().parents[2] / "deploy"
GPO_SCRIPT = DEPLOY / "gpo" / "fixwell-startup.cmd"
PLAYBOOK = DEPLOY / "ansible" / "fixwell-8201.yml"
DETECTION_SCRIPT = DEPLOY / "detect-fixwell-8201.ps1"
INTUNE = DEPLOY / "intune" / "README.md"
CONFIGMGR = DEPLOY / "configmgr" / "README.md"


NATIVE = NativeEnvironment()


class ExampleError(Exception):
    pass


def text(path):
    return path.read_text(encoding="utf-8").replace("\r\n", "\n")


def find(pattern, source, what, flags=0):
    match = re.search(pattern, source, flags)
    if not match:
        raise ExampleError(f"{what}: not found")
    return match


def gpo_detections():
    """The startup script's query in each of its three cases."""
    script = text(GPO_SCRIPT)
    assignments = {}
    for name, value in re.findall(r'^set "(PATCH_KEY|REG_VIEW)=([^"]*)"', script, re.M):
        assignments.setdefault(name, []).append(value)
    query = find(r"^:recorded\n(reg query .*?) >nul", script, f"{GPO_SCRIPT.name}: the query in :recorded", re.M)
    x86 = find(r'^if /i "%PROCESSOR_ARCHITECTURE%"=="x86" set "REG_VIEW=([^"]*)"', script,
               f"{GPO_SCRIPT.name}: the view of a 32-bit cmd.exe", re.M)
    try:
        key, fallback_key = assignments["PATCH_KEY"]
        switch, fallback_switch = assignments["REG_VIEW"][0], assignments["REG_VIEW"][-1]
    except (KeyError, ValueError) as error:
        raise ExampleError(f"{GPO_SCRIPT.name}: expected two PATCH_KEY and REG_VIEW settings") from error

    def command(key, switch):
        line = query.group(1).replace("%PATCH_KEY%", key).replace("%REG_VIEW%", switch)
        return [word.strip('"') for word in re.findall(r'"[^"]*"|\S+', line)]

    return [
        ("gpo: 64-bit cmd.exe", "64", command(key, switch)),
        ("gpo: 32-bit cmd.exe", "32", command(key, x86.group(1))),
        ("gpo: 64-bit cmd.exe, reg.exe without /reg:32", "64", command(fallback_key, fallback_switch)),
    ]


def playbook_tasks(tasks):
    for task in tasks or []:
        for part in ("block", "rescue", "always"):
            yield from playbook_tasks(task.get(part))
        yield task


def playbook_commands():
    """Each win_command of the playbook as (task name, arguments)."""
    for play in yaml.safe_load(text(PLAYBOOK)):
        variables = {"playbook_dir": str(PLAYBOOK.parent), **play.get("vars", {})}
        for task in playbook_tasks(play.get("tasks")):
            arguments = task.get("ansible.windows.win_command")
            if arguments is None:
                continue
            argv = arguments.get("argv") if isinstance(arguments, dict) else None
            if argv is None:
                raise ExampleError(f"{PLAYBOOK.name}: '{task.get('name')}' has no argv")
            # As Ansible templates: a lone expression keeps its value's type.
            if isinstance(argv, str):
                argv = NATIVE.from_string(argv).render(variables)
            argv = [str(NATIVE.from_string(str(word)).render(variables)) for word in argv]
            yield task.get("name"), argv


def ansible_detections():
    """The playbook's key queries: before the run and after it. Ansible's
    modules run in a process of the host's own bitness."""
    found = [(f"ansible: {name}", "native", argv) for name, argv in playbook_commands()
             if argv[:2] in (["reg.exe", "query"], ["reg", "query"]) and "/v" not in argv]
    if len(found) != 2:
        raise ExampleError(f"{PLAYBOOK.name}: expected 2 record queries, found {len(found)}")
    return found


def script_detections():
    """The detection script's Test-Path as a query, per branch on its own
    bitness."""
    script = text(DETECTION_SCRIPT)
    keys = dict(re.findall(r"^\$(\w+) = '([^']*)'", script, re.M))
    branch = find(r"if \(\[IntPtr\]::Size -eq 4\) \{\s*\$key = \$(\w+)\s*\} else \{\s*\$key = \$(\w+)\s*\}",
                  script, f"{DETECTION_SCRIPT.name}: the key chosen by bitness")
    find(r"if \(Test-Path -LiteralPath \$key\) \{\s*Write-Output ", script,
         f"{DETECTION_SCRIPT.name}: output when the key exists")
    result = []
    for bits, variable in (("32", branch.group(1)), ("64", branch.group(2))):
        if variable not in keys:
            raise ExampleError(f"{DETECTION_SCRIPT.name}: ${variable} is not set")
        result.append((f"script: {bits}-bit PowerShell", bits,
                       ["reg", "query", keys[variable].replace("HKLM:", "HKLM", 1)]))
    return result


def table(path):
    """The two-column rows of a README's tables, by their first cell; a
    cell's `code` is taken as it stands."""
    rows = {}
    for first, second in re.findall(r"^\| ([^|]+?) \| (.+?) \|$", text(path), re.M):
        rows[first] = second.strip("`")
    return rows


def view_switch(path, rows, field):
    answer = rows.get(field)
    if answer not in ("Yes", "ticked"):
        raise ExampleError(f"{path.parent.name}: '{field}' must say Yes, not {answer}")
    return "/reg:32"


def rule_detections():
    """The registry rules to enter in Intune and Configuration Manager."""
    intune = table(INTUNE)
    configmgr = table(CONFIGMGR)
    try:
        intune_key = intune["Key path"]
        configmgr_key = configmgr["Hive"] + "\\" + configmgr["Key"]
    except KeyError as error:
        raise ExampleError(f"a registry rule lacks {error}") from error
    return [
        ("intune: registry rule", "native",
         ["reg", "query", intune_key,
          view_switch(INTUNE, intune, "Associated with a 32-bit app on 64-bit clients")]),
        ("configmgr: registry rule", "native",
         ["reg", "query", configmgr_key,
          view_switch(CONFIGMGR, configmgr,
                      "This registry key is associated with a 32-bit application on 64-bit systems")]),
    ]


def detections():
    return gpo_detections() + ansible_detections() + script_detections() + rule_detections()


HIVES = {"HKEY_LOCAL_MACHINE": "HKLM"}


def seen_key(bits, argv):
    """The view and key (folded) that a query reaches: a process on 64-bit
    Windows, as in bits, or "native" there."""
    switches = [word.lower() for word in argv if word.lower() in ("/reg:32", "/reg:64")]
    view = switches[-1][-2:] if switches else ("64" if bits == "native" else bits)
    hive, _, rest = argv[2].partition("\\")
    key = HIVES.get(hive.upper(), hive.upper()) + "\\" + rest
    prefix = "HKLM\\SOFTWARE\\WOW6432NODE\\"
    if view == "64" and key.upper().startswith(prefix):
        view, key = "32", "HKLM\\Software\\" + key[len(prefix):]
    return view, key.casefold()


def check():
    """Every detection reaches the record in the 32-bit view, every install
    is silent, and every mention of a patch key in deploy/ is this one."""
    problems = []
    expected = ("32", PATCH_RECORD.casefold())
    for label, bits, argv in detections():
        if argv[:2] not in (["reg", "query"], ["reg.exe", "query"]) or seen_key(bits, argv) != expected:
            problems.append(f"{label}: {' '.join(argv)} does not reach {PATCH_RECORD} (32-bit view)")

    installs = {
        "gpo": re.findall(r'^start "" /wait "%RELEASE%fixwell\.exe" (\S+)$', text(GPO_SCRIPT), re.M),
        "ansible": [argv[-1] for _, argv in playbook_commands() if argv[0].lower().endswith("fixwell.exe")],
        "intune": [table(INTUNE).get("Install command", "")[len("fixwell.exe "):]],
        "configmgr": [table(CONFIGMGR).get("Installation program", "")[len("fixwell.exe "):]],
    }
    for tool, switches in installs.items():
        if len(switches) != 1 or switches[0] not in SILENT_SWITCHES:
            problems.append(f"{tool}: the install command is not one silent run of fixwell.exe: {switches}")

    tail = PATCH_RECORD.split("\\", 2)[2].casefold()  # Korvel\Velmora\Patch\8201
    for path in sorted(DEPLOY.rglob("*")):
        if path.is_file():
            for mention in re.findall(r"Korvel\\[\w\\]*Patch\\\w+", text(path), re.I):
                if mention.casefold() != tail:
                    problems.append(f"{path.relative_to(DEPLOY)}: names {mention}")
    return problems


def main(argv):
    try:
        if argv[1:] == ["commands"]:
            for label, bits, command in detections():
                print("\t".join([label, bits, *command]))
            return 0
        if argv[1:] == ["record"]:
            print(PATCH_RECORD)
            return 0
        if argv[1:] == ["check"]:
            problems = check()
            for problem in problems:
                print(f"FAIL: {problem}", file=sys.stderr)
            return 1 if problems else 0
    except ExampleError as error:
        print(f"FAIL: {error}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
