#pragma once
// Progress and cancellation of a long output run. Optional: a run without an
// observer reports nothing and cannot be cancelled.
#include <string>

// Where a run stands: its current step, and the whole run as one fraction.
struct RunStep {
    std::string what;    // GB18030 name of the step
    int no = 0;          // 1-based position of the step in the run; 0 when it was not planned
    int count = 0;       // steps of the run
    long done = 0;       // within the step
    long total = 0;      // 0 when unknown
    bool faults = false; // done and total count fault points, else rows
    double overall = 0;  // 0 to 1, never decreasing within a run
    bool bytes = false;  // done and total count bytes
};

struct RunObserver {
    virtual ~RunObserver() = default;
    // what: GB18030 text naming the step; total is 0 when unknown.
    virtual void progress(const std::string& what, long done, long total) {
        (void)what;
        (void)done;
        (void)total;
    }
    // The same with the run's plan; observers that show one bar for the run use this.
    virtual void step(const RunStep& s) { progress(s.what, s.done, s.total); }
    // Polled between rows; true ends the run before any earlier output is replaced.
    virtual bool cancelled() const { return false; }
};
