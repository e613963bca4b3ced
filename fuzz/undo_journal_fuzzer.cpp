// Feeds arbitrary bytes to the undo journal reader and the intent log
// parser; the journal may only fail with its own runtime error, and what it
// reads must survive a write and a second read unchanged.

#include "organizer/intent_log.h"
#include "organizer/undo_journal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    namespace org = sortwell::organizer;
    (void)org::parse_intent_log(text);
    try {
        const org::journal_record record = org::parse_journal(text);
        if (org::parse_journal(org::journal_text(record)) != record) std::abort();
    } catch (const std::runtime_error&) {
        // "Undo journal is not valid JSON"
    }
    return 0;
}
