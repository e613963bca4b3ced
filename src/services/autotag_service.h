#pragma once
// The client of the suite's local auto-tagging service: finds the service or
// starts it from the program's folder, asks it for a file's tags over
// loopback TCP, and writes them in place of the file's earlier auto tags.

#include "batch_processor/batch_processor_callbacks.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::services {

inline constexpr char service_address[] = "127.0.0.1";
inline constexpr std::uint16_t service_port = 44002;
/// The service program's name without the Windows ".exe".
inline constexpr wchar_t service_program[] = L"Quillmark.AutoTagging.Service";

/// What a reply of the service asks the client to do.
struct auto_tag_reply {
    enum class outcome {
        tags,                 // write `tags` (none when the reply was not a JSON object)
        unsupported_type,     // hand `error` and `supported_types` to the callbacks, touch nothing
        backend_unavailable,  // the service's model is missing: an auto-tagger failure with `message`
        failed,               // any other failure the service reported, with `message`
    };
    outcome result = outcome::tags;
    std::string message;
    std::wstring error;
    std::wstring supported_types;
    std::vector<std::wstring> tags;
};

/// Reads one reply text (up to its first zero byte). Never throws.
auto_tag_reply parse_auto_tag_reply(std::string_view reply);

/// The file's new tags: the first exact match of each auto tag, in list
/// order, removed from the current ones, then the service's tags appended
/// as they came, duplicates kept.
std::vector<std::wstring> merge_auto_tags(std::vector<std::wstring> current, const std::vector<std::wstring>& auto_tags,
                                          const std::vector<std::wstring>& service_tags);

/// Makes sure the service runs and accepts connections: three attempts,
/// each either a connection to a listed service or a start and five probes
/// 500 ms apart. Throws autotagger_exception "Unable to start the
/// auto-tagging service." when the program cannot be started, and "Unable
/// to start and connect to the auto-tagging service." after three failed
/// attempts.
void ensure_autotag_service();

/// The auto_tag action for one path. Folders are skipped. Transport
/// failures throw exceptions::formatted_runtime_error; the service's own
/// failures as the reply says (see auto_tag_reply).
void auto_tag_file(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& path);

}  // namespace sortwell::services
