#pragma once
// What a handler adds to the run of the worker that called it, beyond
// success or failure: faces the service found but could not name, and
// folders whose contents changed. Handlers keep the worker's plain
// (callbacks, path, parameters) shape, so the worker lends its tally to the
// handlers of the current thread for the length of a run.

#include <cstdint>
#include <string>
#include <vector>

namespace sortwell::batch_processor {

struct job_tally {
    /// Detected faces that no known person matched, over the whole run.
    std::uint32_t unidentified_faces = 0;
    /// Folders the handlers changed, refreshed with the others at the end.
    std::vector<std::wstring> changed_folders;
};

/// The tally of the run in progress on this thread, or nullptr outside a run
/// (a handler called directly, as in tests, then adds to nothing).
job_tally* active_job_tally();

/// Makes a tally the active one for its lifetime; nests.
class job_tally_scope {
public:
    explicit job_tally_scope(job_tally& tally);
    ~job_tally_scope();
    job_tally_scope(const job_tally_scope&) = delete;
    job_tally_scope& operator=(const job_tally_scope&) = delete;

private:
    job_tally* previous_;
};

}  // namespace sortwell::batch_processor
