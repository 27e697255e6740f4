"""Markdown tables of heap_requests_bench.py and lasting_cost_bench.py, each figure set
against its target."""

import statistics

HISTO_VS_JCMD = 1.0          # histo wall time / jcmd GC.class_histogram wall time
OBJECT_MS = 5.0              # object H on a plain object, median
WALK_S = 3.0                 # referrers and path on 10M objects
WALK_BYTES_PER_OBJECT = 40.0  # JVM RSS growth during referrers / path, per live object
BACK_KB = 1024               # "back to its size before": within 1 MiB
INSTANCES_S = 1.0            # first page of a class with 1M instances
LASTING = 1.2                # after a huge expansion and a "p": within 20% of before


def _ms(values):
    values = list(values)
    if not values:
        return "–"
    med = statistics.median(values)
    if len(values) == 1:
        return "%.1f" % med
    return "%.1f [%.1f–%.1f]" % (med, min(values), max(values))


def _stall(runs, key="stall_ms"):
    """The longest gap the program saw, and the VM's longest safepoint in the same window."""
    runs = list(runs)
    return "%s (safepoint %s)" % (_ms(x[key] for x in runs), _ms(x.get("safepoint_ms", 0.0) for x in runs))


def _verdict(ok):
    return "met" if ok else "**missed**"


def _growth_kb(rss):
    return rss["peak_kb"] - rss["before_kb"], rss["settled_kb"] - rss["before_kb"]


def _memory_cell(runs, live):
    peaks = [_growth_kb(r["rss"])[0] for r in runs]
    backs = [_growth_kb(r["rss"])[1] for r in runs]
    hwm = max(r["rss"]["hwm_growth_kb"] for r in runs)
    per_object = max(peaks) * 1024.0 / live
    return per_object, max(backs), "peak +%.1f MB (%.1f B/object; whole RSS peak +%.1f MB), after %+.1f MB" % (
        max(peaks) / 1024.0, per_object, hwm / 1024.0, max(backs) / 1024.0)


def heap_requests_markdown(results):
    jdk = results["machine"]["jdk"]
    out = ["Heap requests on %s (agent from commit %s); load average at start %s, at end %s." % (
        jdk, results["machine"].get("source", {}).get("commit", "?")[:10],
        " ".join(results["machine"]["load_at_start"]), " ".join(results["machine"].get("load_at_end", ["?"])))]
    out.append("")
    out.append("Times in ms from the client (send to last byte), median [min–max]. \"JVM's own walk\": the baseline "
               "agent's counting version of the same JVMTI walks, in the same JVM. \"Program stall\": the longest gap "
               "the program's 1 ms sleeper logged during the request, and the VM's longest safepoint in the same "
               "window (-Xlog:safepoint). Memory: the JVM's anonymous RSS sampled every 10 ms (heap fixed and "
               "pre-touched, so growth is native); \"after\" is 0.3 s after the reply, against before it.")
    head = ["heap", "request", "Vorlan (ms)", "JVM's own walk (ms)", "ratio", "other", "program stall (ms)",
            "memory", "target", ""]
    out += ["", "| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for size in results["sizes"]:
        r = results["heaps"][str(size)]
        live = r["live_objects"]
        tag = "%gM (%d live; load %s)" % (size / 1e6, live, r.get("load_at_start", ["?"])[0])
        h = r["histo"]
        rounds = h["rounds"]
        ratio_jcmd = h["agent"]["median"] / h["jcmd"]["median"]
        beyond = max(x["objects_beyond_jcmd"] for x in rounds)
        counts = "counts = jcmd's in %d of %d classes; +%d objects of the agent's own attached thread" % (
            rounds[0]["classes"] - len(rounds[0]["counts_differ_from_jcmd"]), rounds[0]["classes"], beyond)
        out.append("| %s | histo, counted by the VM (one pause %s) | %s | %s | %.2f× | jcmd %s (%.2f×; its start-up alone %s); %s | %s (jcmd %s) | %s | ≤ 1× jcmd | %s |" % (
            tag, _ms(x["agent_pause_ms"] for x in rounds),
            _ms(x["agent_s"] * 1e3 for x in rounds),
            _ms(x["baseline_s"] * 1e3 for x in rounds), h["agent"]["median"] / h["baseline"]["median"],
            _ms(x["jcmd_s"] * 1e3 for x in rounds), ratio_jcmd, _ms([h["jcmd_startup_s"]["median"]]), counts,
            _stall(rounds, "agent_stall_ms"), _ms(x["jcmd_stall_ms"] for x in rounds),
            "peak +%.0f MB" % (max(_growth_kb(x["rss"])[0] for x in rounds) / 1024.0),
            _verdict(ratio_jcmd <= HISTO_VS_JCMD)))
        out.append("| %s | histo walk=1, counted by the agent's walk (gc %s + walk %s) | %s | %s | %.2f× | %.2f× jcmd; counts within %d objects of the VM's | %s | – | – |  |" % (
            tag, _ms(x["walked_gc_ms"] for x in rounds), _ms(x["walked_walk_ms"] for x in rounds),
            _ms(x["walked_s"] * 1e3 for x in rounds), _ms(x["baseline_s"] * 1e3 for x in rounds),
            h["walked"]["median"] / h["baseline"]["median"], h["walked"]["median"] / h["jcmd"]["median"],
            max(x["walked_moved"] for x in rounds),
            _stall(x["walked_window"] for x in rounds)))
        o = r["object"]
        out.append("| %s | object H (%s, %d slots), %d runs | %.2f [%.2f–%.2f] | – | – | hello %.2f | – | – | < %g ms | %s |" % (
            tag, o["type"], o["slots"], o["agent"]["n"], o["agent"]["median"], o["agent"]["min"], o["agent"]["max"],
            o["hello"]["median"], OBJECT_MS, _verdict(o["agent"]["median"] < OBJECT_MS)))
        big = size >= 10**7
        for ref in r["referrers"]:
            runs = ref["agent"]
            base = ref["baseline"]["runs"]
            t = [x["s"] for x in runs]
            per_object, back, mem = _memory_cell(runs, live)
            bmem = max(_growth_kb(x["rss"])[0] for x in base) / 1024.0
            ok = per_object <= WALK_BYTES_PER_OBJECT and back <= BACK_KB and (not big or max(t) < WALK_S)
            out.append("| %s | referrers of the %s (total %d) | %s | %s | %.2f× | – | %s | %s (baseline walk +%.0f MB) | %s%s | %s |" % (
                tag, ref["target"], runs[0]["total"], _ms(x * 1e3 for x in t), _ms(x["s"] * 1e3 for x in base),
                statistics.median(t) / statistics.median(x["s"] for x in base), _stall(runs), mem, bmem,
                "< 3 s, " if big else "", "≤ 40 B/object, back", _verdict(ok)))
        every = r["baseline_walk_everything"]
        full = statistics.median(x["s"] for x in every)
        for p in r["path"]:
            runs = p["agent"]
            to_target = statistics.median(x["s"] for x in p["baseline_to_target"]["runs"])
            walks = runs[0]["walks"]
            equivalent = full + (walks - 1) * to_target
            t = [x["s"] for x in runs]
            per_object, back, mem = _memory_cell(runs, live)
            ok = per_object <= WALK_BYTES_PER_OBJECT and back <= BACK_KB and (not big or max(t) < WALK_S)
            reported = [x["walks_reported_ms"] for x in runs if len(x["walks_reported_ms"]) == walks]
            per_walk = ""
            if reported:
                per_walk = "; the agent's walks: first %s, later %s" % (
                    _ms(w[0] for w in reported), _ms(v for w in reported for v in w[1:]))
            same = p["baseline_to_target"].get("roots_tagged")
            same_tags = ""
            if same:
                same_tags = "; with the roots tagged as the search tags them: first %.0f + filtered %.0f (%d calls) → %.0f" % (
                    same["first_ms"], same["walk_ms"], same["calls"], same["first_ms"] + (walks - 1) * same["walk_ms"])
            out.append("| %s | path to the %s: length %d, %d walks | %s | %s (1 full walk %.0f + %d filtered %.0f)%s | %.2f× | %.1f× one full walk%s | %s | %s | %s%s | %s |" % (
                tag, p["target"], runs[0]["length"], walks,
                _ms(x * 1e3 for x in t), "%.0f" % (equivalent * 1e3), full * 1e3, walks - 1, to_target * 1e3, same_tags,
                statistics.median(t) / equivalent, statistics.median(t) / full, per_walk,
                _stall(runs), mem, "< 3 s, " if big else "", "≤ 40 B/object, back", _verdict(ok)))
        i = r["instances"]
        for label, key, base_key in (("first page", "gc", True), ("first page, gc=0", "no_gc", False)):
            runs = i[key]
            base = [x["s"] * 1e3 if base_key else x["walk_ms"] + x["classes_ms"] for x in i["baseline"]]
            t = [x["s"] * 1e3 for x in runs]
            target_applies = i["expected"] >= 10**6 and key == "gc"
            out.append("| %s | instances %s (%d), %s (gc %s + walk %s) | %s | %s | %.2f× | – | %s | – | %s | %s |" % (
                tag, i["class"], i["expected"], label, _ms(x["gc_ms"] for x in runs), _ms(x["walk_ms"] for x in runs),
                _ms(t), _ms(base), statistics.median(t) / statistics.median(base), _stall(runs),
                "< 1 s" if target_applies else "–",
                _verdict(max(t) < INSTANCES_S * 1e3) if target_applies else ""))
        out.append("| %s | (idle program: longest stall over 2 s) | | | | | %.1f | | | |" % (tag, r["idle_stall_ms"]))
        first = r.get("first_walk_memory")
        if first:
            out.append("| %s | (a fresh JVM: anonymous RSS left after each of the first walks, in order) | | | | | | %s | | |" % (
                tag, "; ".join("%s %+.1f MB" % (x["who"], _growth_kb(x["rss"])[1] / 1024.0) for x in first)))
    return "\n".join(out) + "\n"


def _stage_figures(stage):
    e = [x["s"] * 1e3 for x in stage["e_small"]]
    out = {
        "e": e,
        "e_stall": [x["stall_ms"] for x in stage["e_small"]],
        "full": [x["pause_ms"] for x in stage["gc"]["full"]],
        "full_stall": [x["stall_ms"] for x in stage["gc"]["full"]],
        "young": stage["gc"]["young"],
        "young_stall": [stage["gc"]["young_stall"]["stall_ms"]],
        "anon_mb": stage["memory"]["anon_kb"] / 1024.0,
        "rss_mb": stage["memory"]["rss_kb"] / 1024.0,
    }
    if "p" in stage:
        out["p"] = [x["s"] * 1e3 for x in stage["p"]]
        out["p_stall"] = [x["stall_ms"] for x in stage["p"]]
    return out


def _phase_medians(runs):
    names = {}
    for phases in runs:
        for name, ms in phases.items():
            names.setdefault(name, []).append(ms)
    return {name: statistics.median(v) for name, v in names.items()}


def _grown_phases(stages, top=4):
    """The collection steps whose median moved most between the first and the others:
    "step a → b → c"."""
    medians = [_phase_medians(s) for s in stages]
    first = medians[0]
    moved = sorted(first, key=lambda n: -max(abs(m.get(n, 0) - first[n]) for m in medians[1:]))
    return "; ".join("%s %s" % (n, " → ".join("%.1f" % m.get(n, 0) for m in medians)) for n in moved[:top])


def _within(after, before):
    ratio = statistics.median(after) / statistics.median(before)
    return ratio, _verdict(ratio <= LASTING)


def lasting_cost_markdown(results):
    m = results["machine"]
    out = ["Lasting cost on %s." % m["jdk"]]

    def run_line(part):
        pm = part.get("machine", m)
        return "Run %s, agent from commit %s, load average at start %s, at end %s: `%s`" % (
            pm["date"], pm.get("source", {}).get("commit", "?")[:10], " ".join(pm["load_at_start"]),
            " ".join(pm.get("load_at_end", ["?"])), pm.get("command", results.get("command", "")))

    if "lasting" in results:
        r = results["lasting"]
        out += ["", run_line(r)]
        b, x, a = (_stage_figures(r[k]) for k in ("before", "expanded", "after"))
        first, again = r["expansion"]["first"], r["expansion"]["again"]
        n = r["array"]
        out.append("")
        out.append("Heap: %d session objects and an Object[%d] of distinct objects (%d objects in all, by the "
                   "program's count), -Xms%dm -Xmx%dm, G1, agent kind=0. Times in ms from the client, median "
                   "[min–max]; stalls are the longest gap the program's 1 ms sleeper saw (0: none of 2 ms or more); "
                   "GC pauses from -Xlog:gc. Idle program: longest stall %.1f ms over 2 s." % (
                       r["objects_nominal"] - n, n, r["objects_nominal"], r["heap_mb"], r["heap_mb"],
                       r["idle_stall_ms"]))
        out += ["", "| | before | after the expansion, no \"p\" yet | after the next \"p\" | after / before | target |",
                "|---|---|---|---|---|---|"]
        base_first = r["baseline"]["walks"][0]
        base_warm = [w["s"] * 1e3 for w in r["baseline"]["walks"][1:]]
        out.append("| first \"e\" of the Object[%d] (%d lines, %.0f MB): time; the program's longest stall | – | %.0f; stall %s | – | – | – |" % (
            n, n + 1, first["reply_bytes"] / 2**20, first["s"] * 1e3, _stall([first])))
        out.append("| same, the baseline's first walk of the array (tags every element), padded to the same bytes | – | %.0f; stall %s (agent %.2f×) | – | – | – |" % (
            base_first["s"] * 1e3, _stall([base_first]), first["s"] * 1e3 / (base_first["s"] * 1e3)))
        out.append("| the array's \"e\" again (its handles known); baseline's walk again | – | %.0f; stall %s; baseline %s (agent %.2f×) | – | – | – |" % (
            again["s"] * 1e3, _stall([again]), _ms(base_warm), again["s"] * 1e3 / statistics.median(base_warm)))
        ratio, verdict = _within(a["e"], b["e"])
        out.append("| \"e\" of a small object (5 lines) | %s | %s | %s | %.2f× | ≤ 1.2×: %s |" % (
            _ms(b["e"]), _ms(x["e"]), _ms(a["e"]), ratio, verdict))
        np = r["next_p"]
        sweeps = np["progress"]["sweeps"]
        sweep = ("; the agent forgot %d handles, kept %d%s" % (
            sweeps[0]["forgotten"], sweeps[0]["kept"],
            (", its sweep took %d ms" % sweeps[0]["ms"]) if "ms" in sweeps[0] else "")) if sweeps else "; no sweep"
        if sweeps and "sweep_done_s" in np:
            sweep += " (done %.0f ms after the request)" % (np["sweep_done_s"] * 1e3)
        sweep_pause = [p[1] for p in np["progress"]["pauses"] if "sweep" in p[0]]
        ratio, verdict = _within(a["p"], b["p"])
        out.append("| \"p\" (the first after the expansion in the middle column) | %s | %.0f, stall %s%s%s | %s | %.2f× | ≤ 1.2×: %s |" % (
            _ms(b["p"]), np["s"] * 1e3, _stall([np]), sweep,
            ("; its sweep stopped the program %d ms" % sweep_pause[0]) if sweep_pause else "", _ms(a["p"]), ratio, verdict))
        ratio, verdict = _within(a["full"], b["full"])
        out.append("| the program's System.gc() pause (stall seen) | %s (%s) | %s (%s) | %s (%s) | %.2f× | ≤ 1.2×: %s |" % (
            _ms(b["full"]), _ms(b["full_stall"]), _ms(x["full"]), _ms(x["full_stall"]), _ms(a["full"]),
            _ms(a["full_stall"]), ratio, verdict))
        ratio, verdict = _within(a["young"], b["young"])
        out.append("| the program's young collection pauses (longest stall seen) | %s (%s) | %s (%s) | %s (%s) | %.2f× | ≤ 1.2×: %s |" % (
            _ms(b["young"]), _ms(b["young_stall"]), _ms(x["young"]), _ms(x["young_stall"]), _ms(a["young"]),
            _ms(a["young_stall"]), ratio, verdict))
        exp_mem = r["expansion"]["memory"]
        out.append("| JVM RSS, MB (anonymous) | %.0f (%.0f) | %.0f (%.0f) right after; %.0f (%.0f) after the checks | %.0f (%.0f) after the \"p\"; %.0f (%.0f) later | %.2f× | – |" % (
            b["rss_mb"], b["anon_mb"], exp_mem["rss_kb"] / 1024.0, exp_mem["anon_kb"] / 1024.0, x["rss_mb"], x["anon_mb"],
            np["memory"]["rss_kb"] / 1024.0, np["memory"]["anon_kb"] / 1024.0, a["rss_mb"], a["anon_mb"],
            a["rss_mb"] / b["rss_mb"]))
        out.append("| System.gc() steps that moved most (ms, before → after the expansion → after the next \"p\") | %s | | | | |" % (
            _grown_phases([[f["phases"] for f in r[k]["gc"]["full"]] for k in ("before", "expanded", "after")])))
        out.append("| young collection steps that moved most (same) | %s | | | | |" % (
            _grown_phases([r[k]["gc"]["young_phases"] for k in ("before", "expanded", "after")])))
        bm = r["baseline"]["memory"]
        out.append("| JVM RSS after the baseline tagged the same %d objects in its own environment | | | %.0f (%.0f) | | |" % (
            n, bm["rss_kb"] / 1024.0, bm["anon_kb"] / 1024.0))
        un = r["baseline"].get("untagged")
        if un:
            u = _stage_figures({"e_small": [{"s": 0, "stall_ms": 0}], "gc": un["gc"], "memory": un["memory"]})
            out.append("| ...and after it took them all off again, one by one in a heap walk (%.0f ms; stall %s) | | | RSS %.0f (%.0f); System.gc() %s; young %s | %.2f×, %.2f× | |" % (
                r["baseline"]["untag"]["walk_ms"], _stall([r["baseline"]["untag"]]), u["rss_mb"], u["anon_mb"],
                _ms(u["full"]), _ms(u["young"]), statistics.median(u["full"]) / statistics.median(b["full"]),
                statistics.median(u["young"]) / statistics.median(b["young"])))
    if "control" in results:
        c = results["control"]
        out += ["", "Control: the same heap, the agent loaded and never asked; each round is 3 System.gc() and 3 young "
                "collections, as in each stage above (median pause, ms):", "",
                "| round | System.gc() | young |", "|---|---|---|"]
        for i, r in enumerate(c["rounds"]):
            out.append("| %d | %.0f | %.1f |" % (i + 1, statistics.median(r["full"]), statistics.median(r["young"])))
    if "soak" in results:
        s = results["soak"]
        out += ["", run_line(s)]
        out += ["", "Soak: the e2e churn program (-Xms256m -Xmx256m, agent kind=0), %d requests of the soak test's mix "
                "(seed %d) in %.0f s: %d replies, %d dropped connections, %d object handles seen." % (
                    s["requests"], s["seed"], s["seconds"], s["replies"], s["dropped"], s["handles_seen"]), ""]
        out += ["| | value |", "|---|---|"]
        sweeps = s["sweeps"]
        out.append("| sweeps during the soak (forgotten / kept / of those dead) | %s |" % (
            ", ".join("%d/%d/%d" % (w["forgotten"], w["kept"], w["dead"]) for w in sweeps) or "none"))
        out.append("| live handles at the end (framed \"object\" on every handle seen) | %d |" % s["live_handles"])
        errors = s.get("object_errors", [])
        if errors:
            kinds = sorted({(e["listed_as"], e["reply"].split("\t", 3)[-1]) for e in errors})
            out.append("| **object requests that failed** (neither an object nor not-found) | %d, e.g. `%s` → `%s`; listed as %s |" % (
                len(errors), errors[0]["request"].replace("\t", "\\t"), errors[0]["reply"].replace("\t", "\\t"),
                ", ".join(sorted({str(k[0]) for k in kinds}))))
        out.append("| JVM anonymous RSS growth: at the end of the soak; after a last \"p\" | %+.1f MB; %+.1f MB |" % (
            s["growth_at_end_bytes"] / 2**20, s["growth_bytes"] / 2**20))
        out.append("| agent memory per live handle, at most (the whole JVM's growth after the last \"p\" over the live handles) | %.0f B |" % (
            s["bytes_per_live_handle_without_control"]))
        out.append("| the same program without requests for as long (no forced collections unload its churned classes, so it is no baseline to subtract) | %+.1f MB |" % (
            s["control_growth_bytes"] / 2**20))
        if "test" in s:
            out.append("| `VORLAN_SOAK_REQUESTS=%d agent_soak_tests` | %s |" % (s["requests"], s["test"]["line"].replace("|", "/")))
    return "\n".join(out) + "\n"
