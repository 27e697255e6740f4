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
    out = ["Heap requests on %s; load average at start %s, at end %s." % (
        jdk, " ".join(results["machine"]["load_at_start"]), " ".join(results["machine"].get("load_at_end", ["?"])))]
    out.append("Times in ms from the client, median [min–max]; \"stall\" is the longest gap the program's "
               "1 ms sleeper saw during the request; memory is the JVM's RSS (heap fixed and pre-touched).")
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
        out.append("| %s | histo (gc %s + walk %s) | %s | %s | %.2f× | jcmd %s (%.2f×; its start-up alone %s); %s | %s (jcmd %s) | %s | ≤ 1× jcmd | %s |" % (
            tag, _ms(x["agent_gc_ms"] for x in rounds), _ms(x["agent_walk_ms"] for x in rounds),
            _ms(x["agent_s"] * 1e3 for x in rounds),
            _ms(x["baseline_s"] * 1e3 for x in rounds), h["agent"]["median"] / h["baseline"]["median"],
            _ms(x["jcmd_s"] * 1e3 for x in rounds), ratio_jcmd, _ms([h["jcmd_startup_s"]["median"]]), counts,
            _stall(rounds, "agent_stall_ms"), _ms(x["jcmd_stall_ms"] for x in rounds),
            "peak +%.0f MB" % (max(_growth_kb(x["rss"])[0] for x in rounds) / 1024.0),
            _verdict(ratio_jcmd <= HISTO_VS_JCMD)))
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

