#!/usr/bin/env python3
"""Prints the table of the benchmark figures from Google Benchmark's JSON output (stdin).

Each figure is the median over the repetitions; the best repetition follows in brackets where
noise matters. Ratios are formed from the medians of one run.
"""
import json
import sys


def main():
    data = json.load(sys.stdin)
    agg = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "aggregate":
            continue
        agg.setdefault(b["run_name"], {})[b["aggregate_name"]] = b

    def get(name, stat="median", field="cpu_time"):
        # Benchmarks run a fixed number of iterations carry it in their name.
        if name not in agg:
            name = next((n for n in agg if n.startswith(name + "/iterations:")), name)
        entry = agg.get(name, {}).get(stat)
        if entry is None:
            return float("nan")
        value = entry.get(field, float("nan"))
        # Times in nanoseconds whatever unit the benchmark printed in.
        if field in ("real_time", "cpu_time"):
            value *= {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
        return value

    def labelOf(name):
        for b in data["benchmarks"]:
            if b.get("run_name") == name and b.get("label"):
                return b["label"]
        return "?"

    ctx = data["context"]
    reps = max((len([1 for b in data["benchmarks"] if b.get("run_type") == "iteration"
                     and b["run_name"] == n]) for n in agg), default=0)
    cpu = ctx.get("cpu_name") or ""
    print(f"Sonquad benchmarks: {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz {cpu}".rstrip())
    print(f"{reps} repetitions; median of the repetitions, best one in brackets; times are the "
          "process's CPU time (the machine is shared), ratios from one run")
    print()

    blocks = [32, 128, 512, 4096]
    print("1. processReplacing at 48 kHz, 4 channels: real-time factor (x real time)")
    print(f"   {'stages':<28}" + "".join(f"{b:>19}" for b in blocks))
    for label, name in [("all off", "BM_Process_AllOff"),
                        ("program 0 (LF, matrix, 2.3cm)", "BM_Process_Program0"),
                        ("every stage on", "BM_Process_Everything")]:
        cells = []
        for b in blocks:
            run = f"{name}/{b}"
            cells.append(f"{get(run, 'median', 'xRT'):9.0f} ({get(run, 'max', 'xRT'):6.0f})")
        print(f"   {label:<28}" + "".join(f"{c:>19}" for c in cells))
    everything512 = get("BM_Process_Everything/512", "median", "xRT")
    print(f"   target: every stage on, 512 samples >= 1000x: {everything512:.0f}x "
          f"-> {'met' if everything512 >= 1000 else 'missed'}")
    print()

    print("1b. Where the time goes: the plug-in against the same-rules reference (bench/ReferencePipeline.h),")
    print("    us per block, median; a stage's time is the time with it on less the time without it")
    configs = [("AllOff", "meters, copies, block step"), ("Capsules", "capsule filters (LF, EQ)"),
               ("CapsulesMatrix", "matrix and output gains"), ("Everything", "post-matrix set (2.3cm)")]
    print(f"    {'':<28}" + "".join(f"{f'{b} samples':>25}" for b in blocks))
    print(f"    {'stage':<28}" + "".join(f"{'plug-in  ref.  ratio':>25}" for b in blocks))

    def perBlock(prefix, config, b):
        return get(f"BM_{prefix}_{config}/{b}") / 1e3

    rows = []
    for i, (config, label) in enumerate(configs):
        cells = []
        for b in blocks:
            mine = perBlock("Process", config, b) - (perBlock("Process", configs[i - 1][0], b) if i else 0.0)
            ref = perBlock("Reference", config, b) - (perBlock("Reference", configs[i - 1][0], b) if i else 0.0)
            cells.append(f"{mine:8.2f} {ref:7.2f} {mine / ref:6.2f}")
        rows.append((label, cells))
    cells = []
    for b in blocks:
        mine, ref = perBlock("Process", "Everything", b), perBlock("Reference", "Everything", b)
        cells.append(f"{mine:8.2f} {ref:7.2f} {mine / ref:6.2f}")
    rows.append(("every stage on", cells))
    cells = []
    for b in blocks:
        mine = get(f"BM_Process_Everything/{b}", "median", "xRT")
        ref = get(f"BM_Reference_Everything/{b}", "median", "xRT")
        cells.append(f"{mine:7.0f}x {ref:6.0f}x {ref / mine:6.2f}")
    rows.append(("  (x real time)", cells))
    for label, cells in rows:
        print(f"    {label:<28}" + "".join(f"{c:>25}" for c in cells))
    mine = get("BM_Process_Everything/512", "median", "xRT")
    ref = get("BM_Reference_Everything/512", "median", "xRT")
    ratio = ref / mine
    print(f"    every stage on, 512 samples: plug-in {mine:.0f}x, reference {ref:.0f}x real time, ratio {ratio:.2f}; "
          f"target <= 1.1 -> {'met' if ratio <= 1.1 else 'missed'}")
    add = get("BM_Latency_Add") / 1000.0
    mul = get("BM_Latency_Multiply") / 1000.0
    if add == add:
        bound = mul + 3.0 * add
        stage = {prefix: (perBlock(prefix, "Capsules", 4096) - perBlock(prefix, "AllOff", 4096)) * 1e3 / 4096
                 for prefix in ("Process", "Reference")}
        print(f"    dependency bound of the capsule filters: each section's recursion waits for its own last output")
        print(f"    (shelf: multiply, add; high-pass: multiply, add, add; equaliser: y -> a1 y -> b1 x - a1 y -> + s2 ->")
        print(f"    b0 x + s1 = y', a multiply and three adds); the sections of a time step overlap, so one time step of")
        print(f"    the four lanes takes at least the equaliser's chain: {mul:.3f} + 3 x {add:.3f} ns = {bound:.2f} ns "
              f"({bound / add * 3:.0f} cycles at 3 cycles per add),")
        print(f"    {bound / 4:.2f} ns per channel-sample. Measured at 4096 samples: plug-in {stage['Process']:.2f} ns "
              f"per time step ({stage['Process'] / bound:.2f}x the bound), reference {stage['Reference']:.2f} ns "
              f"({stage['Reference'] / bound:.2f}x)")
    diff = "BM_Reference_Difference"
    print("    largest output difference, plug-in against reference (two seconds of noise, 512-sample blocks):")
    print("    " + ", ".join(f"{label} {get(diff, 'median', key + '_difference'):.3g} "
                             f"(largest sample {get(diff, 'median', key + '_sample'):.3g}; meters' sums "
                             f"{get(diff, 'median', key + '_meters'):.2g} relative)"
                             for label, key in [("capsules", "capsules"), ("+ matrix", "matrix"),
                                                ("every stage", "everything")]))
    print()

    print("2. FFT pair (2048-point forward + inverse), convolution and one channel's overlap-save block, vs FFTW")
    pair = get("BM_FftPair_FFTReal")
    r2c = get("BM_FftPair_FFTW_r2c")
    r2r = get("BM_FftPair_FFTW_r2r")
    patient = get("BM_FftPair_FFTW_r2c_patient")
    best = min(r2c, r2r, patient)
    kernel = labelOf("BM_FftPair_FFTReal")
    print(f"   {'FFTReal pair (' + kernel + ')':<24}{pair / 1e3:8.3f} us ({get('BM_FftPair_FFTReal', 'min') / 1e3:.3f})")
    print(f"   FFTW r2c + c2r          {r2c / 1e3:8.3f} us ({get('BM_FftPair_FFTW_r2c', 'min') / 1e3:.3f})")
    print(f"   FFTW r2hc + hc2r        {r2r / 1e3:8.3f} us ({get('BM_FftPair_FFTW_r2r', 'min') / 1e3:.3f})")
    print(f"   FFTW r2c + c2r, patient {patient / 1e3:8.3f} us ({get('BM_FftPair_FFTW_r2c_patient', 'min') / 1e3:.3f})")
    print(f"   ratio to FFTW's fastest {pair / best:8.2f}   target <= 1.0 -> {'met' if pair / best <= 1.0 else 'missed'}")
    alternating = get("BM_FftPair_Alternating", "median", "ratio")
    print(f"   timed alternately against the patient plans (median of the repetitions' median ratios, and"
          f" quartiles):")
    print(f"   ratio                   {alternating:8.2f}   ({get('BM_FftPair_Alternating', 'median', 'ratio_q1'):.2f} to "
          f"{get('BM_FftPair_Alternating', 'median', 'ratio_q3'):.2f})   target <= 1.0 -> "
          f"{'met' if alternating <= 1.0 else 'missed'}")
    conv = get("BM_FftConvolve_FFTReal")
    convw = get("BM_FftConvolve_FFTW")
    print(f"   FFTReal convolve        {conv / 1e3:8.3f} us ({get('BM_FftConvolve_FFTReal', 'min') / 1e3:.3f})")
    print(f"   FFTW r2c, product, c2r  {convw / 1e3:8.3f} us ({get('BM_FftConvolve_FFTW', 'min') / 1e3:.3f})")
    print(f"   ratio                   {conv / convw:8.2f}   target <= 1.0 -> {'met' if conv / convw <= 1.0 else 'missed'}")
    osf = get("BM_OverlapSave_CFFTFilter")
    osw = get("BM_OverlapSave_FFTW")
    print(f"   overlap-save CFFTFilter {osf / 1e3:8.3f} us ({get('BM_OverlapSave_CFFTFilter', 'min') / 1e3:.3f})")
    print(f"   overlap-save on FFTW    {osw / 1e3:8.3f} us ({get('BM_OverlapSave_FFTW', 'min') / 1e3:.3f})")
    print(f"   ratio                   {osf / osw:8.2f}   target <= 1.3 -> {'met' if osf / osw <= 1.3 else 'missed'}")
    print()

    print("3. Calls around a set switch and a rate change, every stage on, 64-sample blocks")
    print("   (worst call of the 32 after the event / median steady-state call; the median over 24 events)")
    for label, name in [("set switch", "BM_AroundSetSwitch"), ("rate change", "BM_AroundRateChange")]:
        med = get(name, "median", "median_call_us")
        ev = get(name, "median", "event_worst_x")
        st = get(name, "median", "steady_worst_x")
        rel = get(name, "median", "event_vs_steady_worst")
        host = get(name, "median", "host_call_us")
        print(f"   {label:<12} median call {med:6.2f} us; worst after event {ev:6.1f}x median "
              f"(steady-state worst {st:5.1f}x; event/steady worst {rel:4.2f}); host call {host:8.1f} us; "
              f"target <= 3x -> {'met' if ev <= 3 else 'missed'}")
    print()

    print("4. One instance: memory and construction (six text calibrations in the folder)")
    created = get("BM_InstanceMemory", "median", "created_KiB")
    running = get("BM_InstanceMemory", "median", "running_KiB")
    held = get("BM_InstanceMemory", "median", "held_created_KiB")
    heldRunning = get("BM_InstanceMemory", "median", "held_running_KiB")
    print(f"   held on the heap: {held:7.0f} KiB created, {heldRunning:7.0f} KiB after 8 blocks; "
          f"target <= 2048 KiB -> {'met' if max(held, heldRunning) <= 2048 else 'missed'}")
    print(f"   resident growth:  {created:7.0f} KiB created, {running:7.0f} KiB after 8 blocks "
          "(less when earlier figures left freed pages to reuse)")
    programs = get("BM_Construct", "median", "calibration_programs")
    print(f"   calibration files that became programs: {programs:.0f} of 6")
    construct = get("BM_Construct") / 1e6
    print(f"   construction: {construct:7.3f} ms ({get('BM_Construct', 'min') / 1e6:.3f}); "
          f"target < 20 ms -> {'met' if construct < 20 else 'missed'}")


if __name__ == "__main__":
    main()
