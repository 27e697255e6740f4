"""The results as a Markdown table, with each ratio set against its target."""

TARGETS = {
    "e_ratio": 2.0,        # "e" on Object[10^6] / baseline walk plus the same bytes
    "linearity": 15.0,     # t(10^6) / t(10^5)
    "graph_ms": 10.0,      # "e" on the head of the large graph
    "p_ratio": 2.0,        # "p" kind=0 with many classes / baseline prepare plus root walk
    "bytes_per_object": 150.0,
    "viewer_s": 2.0,
    "viewer_mb": 300.0,
    "explorer_page_ms": 200.0,     # Object[10^6]: open to its first page painted
    "explorer_histo_ms": 500.0,    # histogram reply to rows shown, and each sort
    "explorer_late_ms": 100.0,     # event-loop lateness during a long walk
}


def _ms(s):
    return "%.1f [%.1f–%.1f]" % (s["median"], s["min"], s["max"])


def _verdict(value, limit):
    return "met" if value is not None and value <= limit else "**missed**"


def _ratio_row(rows, label, agent, base, limit):
    ratio = agent["median"] / base["median"]
    target = "≤ %g×" % limit if limit else "–"
    rows.append((label, _ms(agent), _ms(base), "%.2f×" % ratio, target, _verdict(ratio, limit) if limit else ""))


def markdown(results):
    rows = []
    arrays = results.get("arrays", {})
    for n in sorted(arrays, key=int):
        r = arrays[n]
        top = int(n) == max(map(int, arrays))
        _ratio_row(rows, '"e" Object[%s], warm (%d B reply)' % (n, r["reply_bytes"]),
                   r["agent"], r["baseline"], TARGETS["e_ratio"] if top else None)
        _ratio_row(rows, '"e" Object[%s], first (baseline tags too)' % n,
                   r["agent_cold"], r["baseline_cold_tagging"], None)
    if "100000" in arrays and "1000000" in arrays:
        for key, label in (("agent", "warm"), ("agent_cold", "first")):
            lin = arrays["1000000"][key]["median"] / arrays["100000"][key]["median"]
            rows.append(('"e" t(10^6)/t(10^5), %s' % label, "%.1f" % lin, "–", "",
                         "< %g" % TARGETS["linearity"], _verdict(lin, TARGETS["linearity"] - 1e-9)))
    if "graph" in results:
        g = results["graph"]
        rows.append(('"e" head of %s-object graph, warm' % results.get("graph_objects", "?"),
                     _ms(g["agent"]), _ms(g["baseline"]), "%.2f×" % (g["agent"]["median"] / g["baseline"]["median"]),
                     "< %g ms" % TARGETS["graph_ms"], _verdict(g["agent"]["median"], TARGETS["graph_ms"])))
        rows.append(('"e" head of graph, first', _ms(g["agent_cold"]), _ms(g["baseline_cold_tagging"]), "",
                     "< %g ms" % TARGETS["graph_ms"], _verdict(g["agent_cold"]["median"], TARGETS["graph_ms"])))
    if "classes" in results:
        c = results["classes"]
        _ratio_row(rows, '"p" kind=0, %d classes, %d roots' % (c["classes"], c["roots"]),
                   c["agent"], c["baseline"], TARGETS["p_ratio"])
    if "idle" in results:
        c = results["idle"]
        _ratio_row(rows, '"p" kind=1, idle program (%d classes)' % c["classes"], c["agent"], c["baseline"], None)
    if "memory" in results:
        m = results["memory"]
        rows.append(("agent memory per object, Object[%d]" % m["objects"],
                     "%.0f B (%.0f MB RSS)" % (m["agent_growth_bytes"] / m["objects"], m["agent_growth_bytes"] / 2**20),
                     "%.0f B (%.0f MB RSS)" % (m["baseline_growth_bytes"] / m["objects"], m["baseline_growth_bytes"] / 2**20),
                     "%.0f B beyond" % m["bytes_per_object_beyond_tags"], "≤ %g B" % TARGETS["bytes_per_object"],
                     _verdict(m["bytes_per_object_beyond_tags"], TARGETS["bytes_per_object"])))
        rows.append(("same, after %d expansions in all" % m["expansions"],
                     "%.0f B" % (m["agent_growth_after_repeats_bytes"] / m["objects"]),
                     "%.0f B" % (m["baseline_growth_after_repeats_bytes"] / m["objects"]),
                     "%.0f B beyond" % m["bytes_per_object_beyond_tags_after_repeats"], "≤ %g B" % TARGETS["bytes_per_object"],
                     _verdict(m["bytes_per_object_beyond_tags_after_repeats"], TARGETS["bytes_per_object"])))
    if "viewer" in results:
        v = results["viewer"]
        rows.append(("viewer: %d-line expansion shown" % v["lines"], _ms(v["shown"]), "", "",
                     "< %g s" % TARGETS["viewer_s"], _verdict(v["shown"]["max"] / 1000.0, TARGETS["viewer_s"])))
        rows.append(("viewer: peak memory growth", "%.0f MB" % v["peak_growth_mb"], "", "",
                     "< %g MB" % TARGETS["viewer_mb"], _verdict(v["peak_growth_mb"], TARGETS["viewer_mb"])))
    if "explorer" in results:
        e = results["explorer"]
        a, h, w = e["array"], e["histo"], e["walk"]
        rows.append(("explorer: Object[%d] opened, first page painted" % a["n"], _ms(a["shown"]), "", "",
                     "< %g ms" % TARGETS["explorer_page_ms"], _verdict(a["shown"]["max"], TARGETS["explorer_page_ms"])))
        for key, label in (("shown", "histogram of %d classes shown, after the reply" % h["rows"]),
                           ("sort_name", "histogram sorted by name"), ("sort_instances", "histogram sorted by instances")):
            rows.append(("explorer: " + label, _ms(h[key]), "", "", "< %g ms" % TARGETS["explorer_histo_ms"],
                         _verdict(h[key]["max"], TARGETS["explorer_histo_ms"])))
        rows.append(("explorer: event lateness during a %d-hop path (walks %s ms) on %d objects"
                     % (w["hops"], _ms(w["walk"]), w["objects"]),
                     "max %.1f, p99 %.1f (own CPU %.0f ms)" % (w["late_max_ms"], w["late_p99_ms"], w["cpu_ms"]),
                     "idle: max %.1f" % w["idle_late_max_ms"],
                     "", "< %g ms" % TARGETS["explorer_late_ms"], _verdict(w["late_max_ms"], TARGETS["explorer_late_ms"])))
    head = ["measurement", "Vorlan (ms: median [min–max])", "baseline", "ratio", "target", ""]
    out = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    out += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(out) + "\n"
