#include "batch_processor/job_tally.h"

namespace sortwell::batch_processor {
namespace {

// Each worker runs on its caller's thread, so one slot per thread suffices.
thread_local job_tally* active = nullptr;

}  // namespace

job_tally* active_job_tally() { return active; }

job_tally_scope::job_tally_scope(job_tally& tally) : previous_(active) { active = &tally; }

job_tally_scope::~job_tally_scope() { active = previous_; }

}  // namespace sortwell::batch_processor
