#!/usr/bin/env bash
# The line report in a real browser (headless Chromium): a simulated line of 12,000 runs whose
# station 3 starts to read 1 % high; the page loads without a console message (nothing fetched,
# nothing failing), every chart is drawn with a series per station, and the flagged station is
# named at the top. A screenshot is taken, and copied to SCREENSHOT when given.
#   report_browser_test.sh RECORDS_SCALE CLI [SCREENSHOT]
set -euo pipefail
scale=$1
cli=$2
shot=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

"$scale" "$work/line.sqlite" 12000 --fill-only >/dev/null 2>&1
code=0
"$cli" --records "$work/line.sqlite" records report --html "$work/report.html" \
  >/dev/null 2>"$work/report.err" || code=$?
[ "$code" -eq 5 ] || fail "records report exited $code, not 5 (a flagged station)"

browser() {
  HOME=$work timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --no-first-run --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --hide-scrollbars "$@" "file://$work/report.html"
}
browser --dump-dom >"$work/dom.html" 2>"$work/console.log" || fail "chromium did not load it"
if grep -E "CONSOLE|Uncaught|Failed to load" "$work/console.log"; then
  fail "the page wrote to the console"
fi
python3 - "$work/dom.html" <<'PY' || fail "the page as the browser built it"
import sys
from html.parser import HTMLParser

class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.svgs = []          # [class, reading, series]
        self.flags = []         # the text of each flag
        self.in_flag = 0
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "svg":
            self.svgs.append([a.get("class"), a.get("data-reading"), 0])
        if tag == "path" and "series" in (a.get("class") or "").split():
            self.svgs[-1][2] += 1
        if tag == "div" and a.get("class") == "flag":
            self.flags.append("")
            self.in_flag += 1
    def handle_endtag(self, tag):
        if tag == "div" and self.in_flag:
            self.in_flag -= 1
    def handle_data(self, data):
        if self.in_flag:
            self.flags[-1] += data

p = Page()
p.feed(open(sys.argv[1], encoding="utf-8").read())
charts = [s for s in p.svgs if s[0] == "chart"]
ok = len(charts) == 9 and all(s[2] == 8 for s in charts)
ok &= [s[2] for s in p.svgs if s[0] == "yield"] == [8]
ok &= len([s for s in p.svgs if s[0] == "histogram"]) == 9
ok &= bool(p.flags) and p.flags[0].startswith("st3 calibrates differently")
print(f"charts {len(charts)} (series {[s[2] for s in charts]}), "
      f"histograms {len([s for s in p.svgs if s[0] == 'histogram'])}, first flag: {p.flags[:1]}")
sys.exit(0 if ok else 1)
PY
browser --screenshot="$work/report.png" --window-size=1000,2200 2>>"$work/console.log" \
  || fail "no screenshot"
[ "$(stat -c %s "$work/report.png")" -gt 20000 ] || fail "the screenshot is empty"
[ -z "$shot" ] || cp "$work/report.png" "$shot"
echo "ok: the report loads in $(chromium --version 2>/dev/null | head -n 1) as drawn"
