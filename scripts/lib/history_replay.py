"""Replays a day of history, minute by minute, into fresh databases under
other storage rules, and prints what each would hold and write.

Usage: history_replay.py DAY.sqlite

Each variant writes every minute in a transaction of its own, as the monitor
does, with automatic checkpoints off, so the log's final size is every byte
the day appended to it. The rules compared:

  now          every app row, 4 KiB pages (what the monitor writes today)
  1 KiB pages  the same rows in a file made with 1 KiB pages
  carry        an app's minute under T joules is not written but carried to
               its next row (written once the carry reaches T, and at every
               change of power source with the last minute before it)

For the carry rule it also checks the history's app query over every range
start on the day: the largest difference per app, and the largest relative
one among apps at or above 180 J (the least energy the panel shows).
"""

import collections
import os
import sqlite3
import sys
import tempfile

SCHEMA = """PRAGMA journal_mode=WAL;
CREATE TABLE IF NOT EXISTS battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac INTEGER);
CREATE TABLE IF NOT EXISTS app_energy(ts REAL, app TEXT, joules REAL);
CREATE TABLE IF NOT EXISTS app_meta(app TEXT PRIMARY KEY, bundle_path TEXT);
CREATE INDEX IF NOT EXISTS i_app_ts ON app_energy(ts);
CREATE INDEX IF NOT EXISTS i_bat_ts ON battery(ts);"""

SHOWN = 180.0  # joules: less is shown as zero


def load(path):
    db = sqlite3.connect(path)
    minutes = db.execute("SELECT ts, dt, pct, watts, on_ac FROM battery ORDER BY ts").fetchall()
    apps = collections.defaultdict(list)
    for ts, app, joules in db.execute("SELECT ts, app, joules FROM app_energy ORDER BY rowid"):
        apps[ts].append((app, joules))
    return minutes, apps


def carried(minutes, apps, threshold):
    """The app rows of each minute under the carry rule: (minute, rows)."""
    carry = collections.defaultdict(float)
    previous = None
    out = []
    for minute in minutes:
        ts, on_ac = minute[0], minute[4]
        if previous is not None and on_ac != previous[4]:
            out[-1][1].extend((app, j) for app, j in carry.items() if j > 0)
            carry.clear()
        rows = []
        for app, joules in apps.get(ts, []):
            total = carry[app] + joules
            if total >= threshold:
                rows.append((app, total))
                carry[app] = 0.0
            else:
                carry[app] = total
        out.append((minute, rows))
        previous = minute
    return out


def replay(days, page_size):
    folder = tempfile.mkdtemp(prefix="ebbwise-replay-")
    path = os.path.join(folder, "history.sqlite")
    db = sqlite3.connect(path, isolation_level=None)
    db.execute(f"PRAGMA page_size={page_size}")
    db.executescript(SCHEMA)
    db.execute("PRAGMA wal_autocheckpoint=0")
    rows = 0
    for minute, app_rows in days:
        db.execute("BEGIN")
        db.execute("INSERT INTO battery VALUES(?,?,?,?,?)", minute)
        db.executemany("INSERT INTO app_energy VALUES(?,?,?)",
                       [(minute[0], app, j) for app, j in app_rows])
        db.execute("COMMIT")
        rows += len(app_rows)
    wal = os.path.getsize(path + "-wal")
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    size = os.path.getsize(path)
    db.close()
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    os.rmdir(folder)
    return rows, size, wal


def on_battery_sums(days, since):
    sums = collections.defaultdict(float)
    for minute, rows in days:
        if minute[0] > since and not minute[4]:
            for app, j in rows:
                sums[app] += j
    return sums


def query_error(now, rule):
    worst_abs = worst_rel = 0.0
    for (minute, _) in now:
        since = minute[0]
        truth, got = on_battery_sums(now, since), on_battery_sums(rule, since)
        for app in set(truth) | set(got):
            diff = abs(truth[app] - got[app])
            worst_abs = max(worst_abs, diff)
            if truth[app] >= SHOWN:
                worst_rel = max(worst_rel, diff / truth[app])
    return worst_abs, worst_rel


def main():
    minutes, apps = load(sys.argv[1])
    now = [(m, apps.get(m[0], [])) for m in minutes]
    print(f"{'rule':<24} {'app rows':>9} {'database':>12} {'log written':>12}")
    for name, days, page in (("now", now, 4096), ("1 KiB pages", now, 1024)):
        rows, size, wal = replay(days, page)
        print(f"{name:<24} {rows:>9} {size / 1e6:>9.2f} MB {wal / 1e6:>9.2f} MB")
    for threshold in (0.06, 0.18):
        rule = carried(minutes, apps, threshold)
        for page in (4096, 1024):
            rows, size, wal = replay(rule, page)
            name = f"carry {threshold} J, {page // 1024} KiB"
            print(f"{name:<24} {rows:>9} {size / 1e6:>9.2f} MB {wal / 1e6:>9.2f} MB")
        worst_abs, worst_rel = query_error(now, rule)
        print(f"  app query over every range start: largest difference {worst_abs:.3f} J, "
              f"largest among apps >= {SHOWN:.0f} J {worst_rel:.4%}")


if __name__ == "__main__":
    main()
