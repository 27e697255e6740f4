#!/usr/bin/env python3
"""Plots "e" latency against N from a results file of vorlan_bench.py.

    python3 bench/plot_latency.py bench/results/latest.json bench/e_latency.png
"""

import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

SERIES = [
    ("agent", "Vorlan agent, repeated expansion", "C0", "-"),
    ("baseline", "baseline: one-level walk + same bytes sent", "C1", "-"),
    ("agent_cold", "Vorlan agent, first expansion", "C0", "--"),
    ("baseline_cold_tagging", "baseline, first walk tagging each object", "C1", "--"),
]


def main(results_path, png_path):
    with open(results_path) as f:
        results = json.load(f)
    arrays = results["arrays"]
    sizes = sorted(arrays, key=int)
    n = [int(s) for s in sizes]
    fig, ax = plt.subplots(figsize=(7, 4.5), dpi=110)
    for key, label, color, style in SERIES:
        med = [arrays[s][key]["median"] for s in sizes]
        low = [m - arrays[s][key]["min"] for m, s in zip(med, sizes)]
        high = [arrays[s][key]["max"] - m for m, s in zip(med, sizes)]
        ax.errorbar(n, med, yerr=[low, high], label=label, color=color, linestyle=style, marker="o", capsize=3)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("N (elements of the expanded Object[N])")
    ax.set_ylabel('"e" latency, client side (ms)')
    m = results["machine"]
    ax.set_title('"e" on Object[N]: median, min–max\n%s, %s cores, %s' % (m["jdk"], m["cores"], m["date"][:10]),
                 fontsize=9)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(png_path)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
