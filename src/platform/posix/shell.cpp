#include "platform/shell.h"

#include <mutex>

namespace platform::shell {
namespace {

std::mutex& guard() {
    static std::mutex instance;
    return instance;
}

std::vector<change_notification>& recorded() {
    static std::vector<change_notification> list;
    return list;
}

}  // namespace

void change_notify(std::int32_t event, std::uint32_t flags, const std::wstring& path1, const std::wstring& path2) {
    const std::lock_guard lock(guard());
    recorded().push_back({event, flags, path1, path2});
}

std::vector<change_notification> recorded_notifications() {
    const std::lock_guard lock(guard());
    return recorded();
}

void clear_recorded_notifications() {
    const std::lock_guard lock(guard());
    recorded().clear();
}

}  // namespace platform::shell
