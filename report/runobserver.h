#pragma once
// Progress and cancellation of a long output run. Optional: a run without an
// observer reports nothing and cannot be cancelled.
#include <string>

struct RunObserver {
    virtual ~RunObserver() = default;
    // what: GB18030 text naming the step; total is 0 when unknown.
    virtual void progress(const std::string& what, long done, long total) {
        (void)what;
        (void)done;
        (void)total;
    }
    // Polled between rows; true ends the run before any earlier output is replaced.
    virtual bool cancelled() const { return false; }
};
