#pragma once

// The start-up probes tell bench_run when each phase of their start ends: one
// line per phase on standard output, "name<TAB>monotonic ns<TAB>peak RSS KiB".
// bench_run takes each phase's time from the previous line (or from the
// fork), and its memory as the growth of the peak. Under callgrind, bench_run
// dumps the instruction count at every call of vesmira_bench_mark, so that
// each dump holds exactly one phase.
extern "C" void vesmira_bench_mark(const char* phase);
