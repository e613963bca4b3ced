#include "cli/progress_line.h"

#include "cli/output.h"
#include "platform/console.h"

#include <chrono>

namespace qlm::progress {
namespace {

using steady = std::chrono::steady_clock;

constexpr std::size_t smallest_shown_run = 101;

struct run_state {
    bool shown = false;
    std::size_t total = 0;
    std::size_t done = 0;
    steady::time_point started;
    steady::time_point drawn;
};

run_state& state() {
    static run_state current;
    return current;
}

void draw(run_state& run, steady::time_point now) {
    run.drawn = now;
    set_status_line(line_text(run.done, run.total, std::chrono::duration<double>(now - run.started).count()));
}

}  // namespace

std::wstring line_text(std::size_t done, std::size_t total, double seconds) {
    std::wstring text = std::to_wstring(done) + L"/" + std::to_wstring(total) + L" files";
    if (seconds > 0.05) text += L", " + std::to_wstring(static_cast<long long>(static_cast<double>(done) / seconds)) + L" files/s";
    return text;
}

void start(std::size_t total, bool allowed) {
    run_state& run = state();
    run = {};
    run.total = total;
    run.started = steady::now();
    run.shown = allowed && total >= smallest_shown_run && platform::console::is_terminal(platform::console::stream::error);
    if (run.shown) draw(run, run.started);
}

void set_done(std::size_t done) {
    run_state& run = state();
    if (!run.shown || done == run.done) return;
    run.done = done;
    const auto now = steady::now();
    if (done == run.total || now - run.drawn >= std::chrono::milliseconds(100)) draw(run, now);
}

void advance() { set_done(state().done + 1); }

void finish() {
    run_state& run = state();
    if (run.shown) clear_status_line();
    run.shown = false;
}

}  // namespace qlm::progress
