#!/usr/bin/env python3
"""Draws the timeline of one devhost session from the session's own logs, as SVG.

    session_timeline.py --session demo-session.log --start-epoch <s> --sdk-log <game>.exe.log
                        [--verify-last last.json] [--answer-bytes N] --out timeline.svg

Lanes: the verify server, the game's threads (where the exports run), the
library's sender thread "IpcSender", the host (lumo-devhost) and the library's
receive thread.
Every message is an arrow from sender to receiver, labelled with its name and
size and listed below with its time. Sources:
- demo-session.log: the devhost's and the game's lines, each stamped on arrival
  with the seconds since --start-epoch ("[  1.234s] [devhost] recv ...");
  "raw" gives a host-bound envelope's exact bytes, the library's
  "[IPC recv] size=N" line on the debugger output a game-bound one's;
- the library's log beside the game (local time, ms): when each export ran;
- the verify server's /__control/last answer: the request's path and query.
Only what these logs show is drawn: a host-bound message leaves the sender
thread no later than the host received it, which is where its arrow starts.
The time axis gives every gap between events room by the logarithm of its
length (TimeAxis); labels take the first free row around their lane (Rows).
"""
import argparse
import bisect
import datetime
import html
import json
import math
import re
import sys

# Ordered so that every arrow joins neighbouring lanes.
LANES = [("verify", "verify server (HTTPS)"), ("game", "game (exports, any thread)"),
         ("sender", "library: IpcSender thread"), ("host", "lumo-devhost (host)"),
         ("recv", "library: IPC receive thread")]


def parse_session(path):
    events = []
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r"\[\s*(\d+)\.(\d{3})s\] (.*)$", line.rstrip("\n"))
        if m:
            events.append((int(m.group(1)) + int(m.group(2)) / 1000.0, m.group(3)))
    return events


def parse_sdk_log(path, start_epoch):
    """(seconds since start, text) of the library's log lines."""
    out = []
    try:
        data = open(path, "rb").read().decode("latin-1")
    except OSError:
        return out
    for line in data.splitlines():
        m = re.match(r"\[(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3})\]\[[^]]*\]\[\d+/\d+\]\[LumoGameSDK\] (.*)$",
                     line)
        if m:
            y, mo, d, h, mi, s, ms = (int(g) for g in m.groups()[:7])
            local = datetime.datetime(y, mo, d, h, mi, s, ms * 1000)
            out.append((local.timestamp() - start_epoch, m.group(8)))
    return out


def build(args):
    session = parse_session(args.session)
    sdk = parse_sdk_log(args.sdk_log, args.start_epoch)
    spans, messages, marks = [], [], []

    def first(lines, pattern, after=-1.0):
        for t, text in lines:
            if t >= after and re.search(pattern, text):
                return t
        return None

    # The exports on the game thread: from "<export> enter" to its result line.
    for export, done in [("lumoGameInit", r"^Init (success|failed|already)"),
                         ("lumoGameLogin", r"^(Login success|Login failed)"),
                         ("lumoShowPay", r"^ShowPay (success|failed)"),
                         ("lumoGameUninit", None)]:
        start = first(sdk, r"^%s enter" % export)
        if start is None:
            continue
        end = first(sdk, done, start) if done else None
        spans.append(("game", start, end if end is not None else start, export))

    # Host-bound envelopes: posted by the game thread, written by IpcSender,
    # read by the host ("raw" gives the exact bytes, "recv" the name).
    raw = None
    for t, text in session:
        if text.startswith("[devhost] raw "):
            raw = len(text.split(" ", 2)[2].replace(" ", "")) // 2
        elif text.startswith("[devhost] recv "):
            name = text.split(" ")[2]
            posted = None
            export = {"IpcMsg_GameSDK_GameWndReady": "lumoGameInit", "IpcMsg_GameSDK_ShowPay": "lumoShowPay"}.get(name)
            for lane, s, e, label in spans:
                if label == export:
                    posted = e
            if posted is not None and posted <= t + 0.05:
                messages.append((posted, "game", posted, "sender", "task: " + name, raw))
                messages.append((posted, "sender", t, "host", name, raw))
            else:
                messages.append((t, "sender", t, "host", name, raw))
            raw = None
        elif text.startswith("[devhost] sent "):
            name = text.split(" ")[2]
            got = first(session, r"^\[devhost\] debug \[IPC recv\] size=\d+ msg=%s" % re.escape(name), t)
            size = None
            if got is not None:
                line = [x for tt, x in session if tt == got and "[IPC recv] size=" in x][0]
                size = int(re.search(r"size=(\d+)", line).group(1))
            messages.append((t, "host", got if got is not None else t, "recv", name, size))
        elif text.startswith("[devhost] game exited"):
            marks.append((t, "game", text.split("] ", 1)[1]))
        elif text.startswith("[devhost] game pid="):
            marks.append((t, "game", "game started"))

    # The login: one HTTPS GET from the game thread and its answer.
    login = [s for s in spans if s[3] == "lumoGameLogin"]
    if login:
        _, start, end, _ = login[0]
        query = ""
        if args.verify_last:
            try:
                last = json.load(open(args.verify_last))
                query = last.get("path", "")
            except (OSError, ValueError):
                pass
        request = "GET " + (query or "/game_login/verify?token=...")
        messages.append((start, "game", start, "verify", request, len(request.encode()) if query else None))
        verdict_line = r"^VerifyLoginToken (success|verify failed|http failed)"
        ok = first(sdk, verdict_line, start)
        if ok is not None:
            # Other lines (the proxy's) may share its millisecond: take the verdict's own.
            verdict = [x for tt, x in sdk if tt == ok and re.match(verdict_line, x)][0].replace("VerifyLoginToken ", "")
            messages.append((ok, "verify", ok, "game", "JSON answer (library: %s)" % verdict, args.answer_bytes))
    end_time = max([t for t, _ in session] + [e for _, _, e, _ in spans] + [1.0])
    return spans, sorted(messages, key=lambda m: m[0]), marks, end_time


class TimeAxis:
    """Maps session time to x. Not linear: each gap between two consecutive
    event times gets a width that grows with the logarithm of its length, so
    arrows milliseconds apart stay apart and seconds of idling do not push
    everything to one side; then all widths are scaled to fill the picture."""

    def __init__(self, times, left, right):
        self.times = sorted(set(round(max(0.0, t), 4) for t in times))
        widths = []
        for a, b in zip(self.times, self.times[1:]):
            widths.append(0.0 if b - a < 0.0005 else 24 + 38 * math.log10(1 + (b - a) / 0.001))
        total = sum(widths) or 1.0
        self.xs = [left]
        for w in widths:
            self.xs.append(self.xs[-1] + w * (right - left) / total)

    def __call__(self, t):
        t = max(0.0, t)
        times, xs = self.times, self.xs
        if t <= times[0]:
            return xs[0]
        i = bisect.bisect_right(times, t) - 1
        if i >= len(times) - 1:
            return xs[-1]
        a, b = times[i], times[i + 1]
        return xs[i] + (xs[i + 1] - xs[i]) * (t - a) / (b - a)

    def long_gaps(self, seconds):
        return [(a, b) for a, b in zip(self.times, self.times[1:]) if b - a >= seconds]


def text_width(text, size=13):
    return len(text) * size * 0.6


class Rows:
    """Label rows around one lane; a label takes the first row where it
    overlaps no other label."""
    OFFSETS = [-15, 29, -31, 45]

    def __init__(self):
        self.taken = {i: [] for i in range(len(self.OFFSETS))}

    def place(self, x0, x1):
        for i, offset in enumerate(self.OFFSETS):
            if all(x1 + 8 <= a or x0 >= b + 8 for a, b in self.taken[i]):
                self.taken[i].append((x0, x1))
                return offset
        self.taken[0].append((x0, x1))
        return self.OFFSETS[0]


def svg(spans, messages, marks, end_time, title):
    width, left, right = 1500, 250, 40
    lane_y = {key: 100 + i * 90 for i, (key, _) in enumerate(LANES)}
    axis_y = 62
    table_top = lane_y[LANES[-1][0]] + 80
    row = 22
    height = table_top + 40 + row * len(messages) + 58
    times = [0.0, end_time] + [t for _, s, e, _ in spans for t in (s, e)] + \
            [t for t0, _, t1, _, _, _ in messages for t in (t0, t1)] + [t for t, _, _ in marks]
    x = TimeAxis(times, left + 10, width - right - 10)
    halo = 'stroke="white" stroke-width="4" stroke-linejoin="round" paint-order="stroke"'

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="DejaVu Sans, sans-serif" font-size="13">' % (width, height),
           '<defs><marker id="a" markerWidth="10" markerHeight="8" refX="9" refY="4" orient="auto">'
           '<path d="M0,0 L10,4 L0,8 z" fill="#333"/></marker></defs>',
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="20" y="32" font-size="20" font-weight="bold">%s</text>' % html.escape(title)]
    bottom = table_top - 40
    # Long idle gaps: a grey band with their length, so the axis cannot mislead.
    for a, b in x.long_gaps(0.25):
        xa, xb = x(a) + 6, x(b) - 6
        if xb - xa > 30:
            out.append('<rect x="%.1f" y="%d" width="%.1f" height="%d" fill="#f3f3f3"/>' % (xa, axis_y + 6, xb - xa, bottom - axis_y - 6))
            out.append('<text x="%.1f" y="%d" text-anchor="middle" fill="#999" font-size="11">%.2f s later</text>'
                       % ((xa + xb) / 2, axis_y + 20, b - a))
    # Tick marks at event times, labelled where there is room.
    last_label = -1e9
    for t, tx in zip(x.times, x.xs):
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#e8e8e8"/>' % (tx, axis_y, tx, bottom))
        if tx - last_label >= 62:
            out.append('<text x="%.1f" y="%d" text-anchor="middle" fill="#777" font-size="11">%.3f s</text>' % (tx, axis_y - 4, t))
            last_label = tx
    for key, label in LANES:
        y = lane_y[key]
        out.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#999" stroke-width="2"/>' % (left, y, width - right, y))
        out.append('<text x="20" y="%d" font-weight="bold">%s</text>' % (y + 5, html.escape(label)))

    labels = []  # drawn last, over the arrows
    rows = {key: Rows() for key, _ in LANES}
    for lane, start, end, label in sorted(spans, key=lambda s: s[1]):
        y = lane_y[lane]
        w = max(4.0, x(end) - x(start))
        out.append('<rect x="%.1f" y="%d" width="%.1f" height="18" fill="#4a7bd0" rx="3"/>' % (x(start), y - 9, w))
        lx = x(start) + 3
        ly = y + rows[lane].place(lx, lx + text_width(label))
        labels.append('<text x="%.1f" y="%d" fill="#234" %s>%s</text>' % (lx, ly, halo, html.escape(label)))
    for t, lane, label in marks:
        y = lane_y[lane]
        out.append('<circle cx="%.1f" cy="%d" r="5" fill="#c33"/>' % (x(t), y))
        w = text_width(label)
        # Left of the dot where there is room, else right of it.
        lx0 = x(t) - 8 - w if x(t) - 8 - w >= left else x(t) + 8
        ly = y + rows[lane].place(lx0, lx0 + w)
        labels.append('<text x="%.1f" y="%d" fill="#a22" %s>%s</text>' % (lx0, ly, halo, html.escape(label)))
    for i, (t0, a, t1, b, name, size) in enumerate(messages, 1):
        y0, y1 = lane_y[a], lane_y[b]
        down = y1 > y0
        # From the edge of the sending lane's bar to the edge of the receiving one's.
        y0 += 10 if down else -10
        y1 += -10 if down else 10
        x0, x1 = x(t0), x(t1)
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#333" stroke-width="1.5" marker-end="url(#a)"/>'
                   % (x0, y0, x1, y1))
        cx, cy = (x0 + x1) / 2 + 13, (y0 + y1) / 2
        labels.append('<circle cx="%.1f" cy="%.1f" r="9" fill="#fff3c4" stroke="#333"/>' % (cx, cy))
        labels.append('<text x="%.1f" y="%.1f" text-anchor="middle" font-size="11">%d</text>' % (cx, cy + 4, i))
    out.extend(labels)

    columns = [20, 60, 150, 250, 720, 1340]
    for cx, head in zip(columns, ["#", "sent", "received", "from → to", "message", "size"]):
        out.append('<text x="%d" y="%d" font-weight="bold">%s</text>' % (cx, table_top + 10, html.escape(head)))
    names = dict(LANES)
    for i, (t0, a, t1, b, name, size) in enumerate(messages, 1):
        y = table_top + 34 + (i - 1) * row
        size_text = "%d bytes" % size if size is not None else ""
        cells = zip(columns, ["%d" % i, "%.3f s" % t0, "%.3f s" % t1,
                              "%s → %s" % (names[a].split(" (")[0], names[b].split(" (")[0]), name, size_text])
        for cx, text in cells:
            out.append('<text x="%d" y="%d">%s</text>' % (cx, y, html.escape(text)))
    notes = ["Times: seconds since the session started, from the devhost's output (stamped on arrival) "
             "and the library's log (ms). The time axis is not linear: each gap between two events",
             "gets a width that grows with the logarithm of its length, so events milliseconds apart stay apart; "
             "grey bands mark long idle gaps, with their length.",
             "Host-bound arrows start when the game handed the message to IpcSender; the login request "
             "is drawn when lumoGameLogin began, its answer when the library logged its verdict."]
    for i, note in enumerate(notes):
        out.append('<text x="20" y="%d" fill="#777" font-size="11">%s</text>'
                   % (height - 40 + 14 * i, html.escape(note)))
    out.append("</svg>")
    return "\n".join(out)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--session", required=True)
    p.add_argument("--sdk-log", required=True)
    p.add_argument("--start-epoch", type=float, required=True)
    p.add_argument("--verify-last")
    p.add_argument("--answer-bytes", type=int)
    p.add_argument("--title", default="LumoGameSDK session: sample game under lumo-devhost")
    p.add_argument("--out", required=True)
    args = p.parse_args()
    spans, messages, marks, end_time = build(args)
    if not messages:
        sys.exit("session_timeline: no messages found in %s" % args.session)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(svg(spans, messages, marks, end_time, args.title))
    for t0, a, t1, b, name, size in messages:
        print("%8.3f s  %-7s -> %-7s %8.3f s  %s%s" % (t0, a, b, t1, name, "  (%d bytes)" % size if size else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
