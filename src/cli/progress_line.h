#pragma once
// How far a long run got, on one line of standard error that is redrawn in
// place ("1200/2000 files, 350 files/s") and cleared at the end. Shown only
// for runs over 100 targets, on a terminal, never with --json. One run at a
// time per process, like the cancellation flag.

#include <cstddef>
#include <string>

namespace qlm::progress {

/// Starts counting a run of `total` targets; shown when `allowed` (not
/// --json), standard error is a terminal and the run is big enough.
void start(std::size_t total, bool allowed);

/// Sets how many targets are done; redraws at most ten times a second.
void set_done(std::size_t done);

/// One more target done.
void advance();

/// Clears the line; the run's own output follows.
void finish();

/// The line's text for `done` of `total` after `seconds`.
std::wstring line_text(std::size_t done, std::size_t total, double seconds);

}  // namespace qlm::progress
