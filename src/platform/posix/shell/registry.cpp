// The registry on Linux: JSON hive files of our own, replaced atomically under
// an flock, and file associations from the freedesktop MIME database.

#include "platform/registry.h"

#include "formats/file_extension.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>

namespace platform::registry {

enum class hive_id { current_user, local_machine };

struct key_state {
    hive_id hive = hive_id::current_user;
    std::vector<std::wstring> path;
    bool writable = false;
};

namespace {

struct entry {
    std::wstring name;
    std::uint32_t type = type_sz;
    std::wstring text;
    std::uint32_t dword = 0;
};

struct node {
    std::wstring name;
    std::vector<entry> values;
    std::vector<node> keys;
};

bool same_name(const std::wstring& a, const std::wstring& b) { return text::equal_ignore_case(a, b); }

template <typename T>
auto find_named(std::vector<T>& items, const std::wstring& name) {
    return std::find_if(items.begin(), items.end(), [&name](const T& item) { return same_name(item.name, name); });
}

template <typename T>
auto find_named(const std::vector<T>& items, const std::wstring& name) {
    return std::find_if(items.begin(), items.end(), [&name](const T& item) { return same_name(item.name, name); });
}

std::vector<std::wstring> split_path(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// ---- hive files ---------------------------------------------------------

std::mutex& guard() {
    static std::mutex instance;
    return instance;
}

std::optional<std::string>& override_folder() {
    static std::optional<std::string> folder;
    return folder;
}

// The open read phases (under guard()): while `depth` is above zero, what was
// looked at on disk in the phase is answered from memory. The outermost phase
// starts with nothing remembered.
struct phase_state {
    int depth = 0;
    std::optional<std::string> machine_file;          // where HKLM was found
    std::map<std::string, std::string> applications;  // MIME type -> default application
};

phase_state& phase() {
    static phase_state instance;
    return instance;
}

// Whether what is looked at now may be remembered (caller holds guard()).
bool in_phase() { return phase().depth > 0; }

std::string hive_file(hive_id hive) {
    const char* file = hive == hive_id::current_user ? "HKCU.json" : "HKLM.json";
    {
        const std::lock_guard lock(guard());
        if (override_folder()) return *override_folder() + "/" + file;
    }
    if (hive == hive_id::current_user) {
        const auto base = file_system::local_app_data();
        if (!base) return {};
        return text::to_utf8(*base) + "/Verandel/Quillmark/Registry/" + file;
    }
    {
        const std::lock_guard lock(guard());
        if (in_phase() && phase().machine_file) return *phase().machine_file;
    }
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string list = dirs != nullptr && dirs[0] != '\0' ? dirs : "/etc/xdg";
    std::istringstream stream(list);
    std::string found;
    for (std::string dir; std::getline(stream, dir, ':');) {
        if (dir.empty() || dir[0] != '/') continue;
        const std::string candidate = dir + "/Verandel/Quillmark/Registry/" + file;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0) {
            found = candidate;
            break;
        }
    }
    const std::lock_guard lock(guard());
    if (in_phase()) phase().machine_file = found;
    return found;
}

// A hive this large is no hive of ours.
constexpr std::size_t largest_hive = 256u << 20;

std::optional<std::string> read_bytes(const std::string& path, std::uint32_t& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = errno == ENOENT ? win32_error::file_not_found : win32_error::from_errno(errno);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    error = 0;
    return std::move(bytes).str();
}

bool parse_node(const rapidjson::Value& json, node& out, int depth) {
    if (!json.IsObject() || depth > 512) return false;
    if (const auto values = json.FindMember("values"); values != json.MemberEnd()) {
        if (!values->value.IsArray()) return false;
        for (const auto& item : values->value.GetArray()) {
            if (!item.IsObject()) return false;
            const auto name = item.FindMember("name");
            const auto type = item.FindMember("type");
            const auto data = item.FindMember("data");
            if (name == item.MemberEnd() || type == item.MemberEnd() || data == item.MemberEnd() ||
                !name->value.IsString() || !type->value.IsString()) {
                return false;
            }
            entry value;
            value.name = text::from_utf8(std::string_view(name->value.GetString(), name->value.GetStringLength()));
            const std::string_view kind(type->value.GetString(), type->value.GetStringLength());
            if (kind == "REG_SZ" && data->value.IsString()) {
                value.type = type_sz;
                value.text = text::from_utf8(std::string_view(data->value.GetString(), data->value.GetStringLength()));
            } else if (kind == "REG_DWORD" && data->value.IsUint()) {
                value.type = type_dword;
                value.dword = data->value.GetUint();
            } else {
                return false;
            }
            if (find_named(out.values, value.name) == out.values.end()) out.values.push_back(std::move(value));
        }
    }
    if (const auto keys = json.FindMember("keys"); keys != json.MemberEnd()) {
        if (!keys->value.IsObject()) return false;
        for (const auto& member : keys->value.GetObject()) {
            node child;
            child.name = text::from_utf8(std::string_view(member.name.GetString(), member.name.GetStringLength()));
            if (child.name.empty() || child.name.find(L'\\') != std::wstring::npos) return false;
            if (!parse_node(member.value, child, depth + 1)) return false;
            if (find_named(out.keys, child.name) == out.keys.end()) out.keys.push_back(std::move(child));
        }
    }
    return true;
}

// nullopt for bytes that are not a hive.
std::optional<node> parse_hive(const std::string& bytes) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseIterativeFlag>(bytes.c_str(), bytes.size());
    node root;
    if (document.HasParseError() || !parse_node(document, root, 0)) return std::nullopt;
    return root;
}

template <typename Writer>
void write_node(Writer& writer, const node& key) {
    writer.StartObject();
    if (!key.values.empty()) {
        writer.Key("values");
        writer.StartArray();
        for (const entry& value : key.values) {
            writer.StartObject();
            writer.Key("name");
            writer.String(text::to_utf8(value.name));
            writer.Key("type");
            writer.String(value.type == type_dword ? "REG_DWORD" : "REG_SZ");
            writer.Key("data");
            if (value.type == type_dword) {
                writer.Uint(value.dword);
            } else {
                writer.String(text::to_utf8(value.text));
            }
            writer.EndObject();
        }
        writer.EndArray();
    }
    if (!key.keys.empty()) {
        writer.Key("keys");
        writer.StartObject();
        for (const node& child : key.keys) {
            writer.Key(text::to_utf8(child.name));
            write_node(writer, child);
        }
        writer.EndObject();
    }
    writer.EndObject();
}

std::string serialize(const node& root) {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    write_node(writer, root);
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

// A parsed hive, kept while the file's identity, size and time stay the same;
// a missing hive has size -1. `checked`: the open read phase has looked at
// the file.
struct cached_hive {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    struct timespec modified {};
    std::shared_ptr<const node> root;
    bool checked = false;
};

std::map<std::string, cached_hive>& cache() {
    static std::map<std::string, cached_hive> instance;
    return instance;
}

bool matches(const cached_hive& cached, const struct stat& info) {
    return cached.device == info.st_dev && cached.inode == info.st_ino && cached.size == info.st_size &&
           cached.modified.tv_sec == info.st_mtim.tv_sec && cached.modified.tv_nsec == info.st_mtim.tv_nsec;
}

// The hive as readers see it: a missing or unreadable hive is empty.
std::shared_ptr<const node> load(hive_id hive) {
    static const auto empty = std::make_shared<const node>();
    const std::string path = hive_file(hive);
    if (path.empty()) return empty;
    {
        const std::lock_guard lock(guard());
        if (const auto found = cache().find(path); found != cache().end() && in_phase() && found->second.checked) {
            return found->second.root;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const std::lock_guard lock(guard());
        cache()[path] = cached_hive{0, 0, -1, {}, empty, in_phase()};
        return empty;
    }
    {
        const std::lock_guard lock(guard());
        if (const auto found = cache().find(path); found != cache().end() && matches(found->second, info)) {
            found->second.checked = in_phase();
            return found->second.root;
        }
    }
    std::uint32_t error = 0;
    const auto bytes = read_bytes(path, error);
    auto parsed = bytes ? parse_hive(*bytes) : std::nullopt;
    auto root = parsed ? std::make_shared<const node>(std::move(*parsed)) : empty;
    const std::lock_guard lock(guard());
    cache()[path] = cached_hive{info.st_dev, info.st_ino, info.st_size, info.st_mtim, root, in_phase()};
    return root;
}

const node* find_key(const node& root, const std::vector<std::wstring>& path) {
    const node* current = &root;
    for (const std::wstring& part : path) {
        const auto found = find_named(current->keys, part);
        if (found == current->keys.end()) return nullptr;
        current = &*found;
    }
    return current;
}

node* find_key(node& root, const std::vector<std::wstring>& path) {
    return const_cast<node*>(find_key(static_cast<const node&>(root), path));
}

// One change of the per-user hive: under the hive's lock, read it afresh,
// let `change` edit it (0 and whether anything changed, or an error), and
// put the new hive in place through a flushed temporary.
using change_function = std::function<std::uint32_t(node& root, bool& changed)>;

std::uint32_t change_hive(const change_function& change) {
    const std::string path = hive_file(hive_id::current_user);
    if (path.empty()) return win32_error::path_not_found;
    const std::string folder = path.substr(0, path.find_last_of('/'));
    try {
        file_system::create_directories(text::from_utf8(folder));
    } catch (const std::exception&) {
        return win32_error::access_denied;
    }
    const posix::unique_descriptor lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return win32_error::from_errno(errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return win32_error::from_errno(errno);
    }
    // Whatever this write leaves on disk, the next read looks at it there.
    struct forget_on_exit {
        const std::string& path;
        ~forget_on_exit() {
            const std::lock_guard lock(guard());
            cache().erase(path);
        }
    } forget{path};
    // Replaced whole through a flushed temporary, and only over the hive that
    // was read (another program may edit it without our lock).
    std::uint32_t outcome = 0;
    const std::uint32_t written =
        file_system::rewrite_file(text::from_utf8(path), largest_hive, [&](const std::string* bytes) {
            std::optional<node> root = bytes != nullptr ? parse_hive(*bytes) : node{};
            bool changed = false;
            outcome = root ? change(*root, changed) : error_baddb;
            return outcome == 0 && changed ? std::optional<std::string>(serialize(*root)) : std::nullopt;
        });
    return outcome != 0 ? outcome : written;
}

std::uint32_t change_key(const key_state* state, const std::function<std::uint32_t(node&, bool&)>& change) {
    if (state == nullptr) return win32_error::invalid_handle;
    if (!state->writable || state->hive != hive_id::current_user) return win32_error::access_denied;
    return change_hive([&](node& root, bool& changed) {
        node* key = find_key(root, state->path);
        if (key == nullptr) return error_key_deleted;
        return change(*key, changed);
    });
}

std::uint32_t set_entry(key_state* state, entry value) {
    return change_key(state, [&value](node& key, bool& changed) {
        const auto found = find_named(key.values, value.name);
        if (found == key.values.end()) {
            key.values.push_back(value);
        } else {
            // The stored name keeps the case it was created with.
            found->type = value.type;
            found->text = value.text;
            found->dword = value.dword;
        }
        changed = true;
        return std::uint32_t{0};
    });
}

// ---- associations -----------------------------------------------------------

std::vector<std::string> environment_folders(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::istringstream stream(value != nullptr && value[0] != '\0' ? value : fallback);
    std::vector<std::string> folders;
    for (std::string folder; std::getline(stream, folder, ':');) {
        if (!folder.empty() && folder[0] == '/') folders.push_back(folder);
    }
    return folders;
}

std::string home_folder(const char* variable, const char* below_home) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::string(home) + "/" + below_home;
    }
    return {};
}

struct glob_rule {
    int weight = 0;
    std::string mime_type;
    std::string pattern;  // lower case unless case_sensitive
    bool case_sensitive = false;
};

// The globs2 files of the shared MIME database, the user's first, read once
// per process: the database changes with installed software, not per file.
const std::vector<glob_rule>& glob_rules() {
    static const std::vector<glob_rule> rules = [] {
        std::vector<std::string> data = {home_folder("XDG_DATA_HOME", ".local/share")};
        for (const auto& folder : environment_folders("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) {
            data.push_back(folder);
        }
        std::vector<glob_rule> list;
        for (const std::string& folder : data) {
            if (folder.empty()) continue;
            std::ifstream in(folder + "/mime/globs2");
            for (std::string line; std::getline(in, line);) {
                if (line.empty() || line[0] == '#') continue;
                std::vector<std::string> fields;
                std::istringstream parts(line);
                for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
                if (fields.size() < 3) continue;
                const bool case_sensitive = fields.size() > 3 && fields[3].find("cs") != std::string::npos;
                list.push_back({std::atoi(fields[0].c_str()), fields[1],
                                case_sensitive ? fields[2] : formats::ascii_lower(fields[2]), case_sensitive});
            }
        }
        return list;
    }();
    return rules;
}

// The MIME type of "*.ext": the rule of the highest weight, the first of equals.
std::string mime_type_of(const std::string& extension) {
    const std::string wanted = "*" + extension;
    const std::string wanted_lower = formats::ascii_lower(wanted);
    const glob_rule* best = nullptr;
    for (const glob_rule& rule : glob_rules()) {
        if (rule.pattern != (rule.case_sensitive ? wanted : wanted_lower)) continue;
        if (best == nullptr || rule.weight > best->weight) best = &rule;
    }
    return best == nullptr ? std::string() : best->mime_type;
}

// The first desktop id of the MIME type under [Default Applications] in the
// mimeapps.list files, in the order freedesktop.org's MIME applications rules give.
std::string default_application_on_disk(const std::string& mime_type) {
    std::vector<std::string> files;
    if (const std::string config = home_folder("XDG_CONFIG_HOME", ".config"); !config.empty()) {
        files.push_back(config + "/mimeapps.list");
    }
    for (const auto& folder : environment_folders("XDG_CONFIG_DIRS", "/etc/xdg")) files.push_back(folder + "/mimeapps.list");
    if (const std::string data = home_folder("XDG_DATA_HOME", ".local/share"); !data.empty()) {
        files.push_back(data + "/applications/mimeapps.list");
    }
    for (const auto& folder : environment_folders("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) {
        files.push_back(folder + "/applications/mimeapps.list");
    }
    for (const std::string& file : files) {
        std::ifstream in(file);
        bool in_defaults = false;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line[0] == '[') {
                in_defaults = line == "[Default Applications]";
                continue;
            }
            if (!in_defaults) continue;
            const auto equals = line.find('=');
            if (equals == std::string::npos || line.substr(0, equals) != mime_type) continue;
            std::istringstream ids(line.substr(equals + 1));
            for (std::string id; std::getline(ids, id, ';');) {
                if (!id.empty()) return id;
            }
        }
    }
    return {};
}

// default_application_on_disk, asked once per MIME type in a read phase.
std::string default_application(const std::string& mime_type) {
    {
        const std::lock_guard lock(guard());
        if (const auto found = phase().applications.find(mime_type);
            in_phase() && found != phase().applications.end()) {
            return found->second;
        }
    }
    std::string application = default_application_on_disk(mime_type);
    const std::lock_guard lock(guard());
    if (in_phase()) phase().applications[mime_type] = application;
    return application;
}

std::uint32_t open_in(hive_id hive, const std::vector<std::wstring>& path, bool writable, key& out) {
    const auto root = load(hive);
    if (find_key(*root, path) == nullptr) return win32_error::file_not_found;
    if (writable && hive == hive_id::local_machine) return win32_error::access_denied;
    out.reset(std::make_unique<key_state>(key_state{hive, path, writable}));
    return 0;
}

std::vector<std::wstring> classes_path(const std::wstring& path) {
    std::vector<std::wstring> parts = {L"Software", L"Classes"};
    for (auto& part : split_path(path)) parts.push_back(std::move(part));
    return parts;
}

}  // namespace

key::key() = default;
key::~key() = default;
key::key(key&& other) noexcept = default;
key& key::operator=(key&& other) noexcept = default;
void key::close() noexcept { state_.reset(); }
void key::reset(std::unique_ptr<key_state> state) noexcept { state_ = std::move(state); }

std::uint32_t key::get_value(const std::wstring& name, value& out, std::size_t max_bytes) const {
    if (state_ == nullptr) return win32_error::invalid_handle;
    const auto root = load(state_->hive);
    const node* found = find_key(*root, state_->path);
    if (found == nullptr) return error_key_deleted;
    const auto item = find_named(found->values, name);
    if (item == found->values.end()) return win32_error::file_not_found;
    const std::size_t bytes = item->type == type_dword ? 4 : (text::utf16_length(item->text) + 1) * 2;
    if (bytes > max_bytes) return error_more_data;
    out = value{item->type, item->text, item->dword};
    return 0;
}

std::uint32_t key::set_string(const std::wstring& name, const std::wstring& text) {
    return set_entry(state_.get(), entry{name, type_sz, text, 0});
}

std::uint32_t key::set_dword(const std::wstring& name, std::uint32_t data) {
    return set_entry(state_.get(), entry{name, type_dword, {}, data});
}

std::uint32_t key::delete_value(const std::wstring& name) {
    return change_key(state_.get(), [&name](node& target, bool& changed) {
        const auto found = find_named(target.values, name);
        if (found == target.values.end()) return win32_error::file_not_found;
        target.values.erase(found);
        changed = true;
        return std::uint32_t{0};
    });
}

std::uint32_t key::sub_key_names(std::vector<std::wstring>& out, std::size_t max_name) const {
    if (state_ == nullptr) return win32_error::invalid_handle;
    const auto root = load(state_->hive);
    const node* found = find_key(*root, state_->path);
    if (found == nullptr) return error_key_deleted;
    for (const node& child : found->keys) {
        if (text::utf16_length(child.name) <= max_name) out.push_back(child.name);
    }
    return 0;
}

std::uint32_t key::value_names(std::vector<std::wstring>& out, std::size_t max_name) const {
    if (state_ == nullptr) return win32_error::invalid_handle;
    const auto root = load(state_->hive);
    const node* found = find_key(*root, state_->path);
    if (found == nullptr) return error_key_deleted;
    for (const entry& item : found->values) {
        if (text::utf16_length(item.name) <= max_name) out.push_back(item.name);
    }
    return 0;
}

std::uint32_t open_key(root where, const std::wstring& path, bool writable, key& out) {
    out.close();
    switch (where) {
        case root::current_user:
            return open_in(hive_id::current_user, split_path(path), writable, out);
        case root::local_machine:
            return open_in(hive_id::local_machine, split_path(path), writable, out);
        case root::classes_root:
            break;
    }
    const auto parts = classes_path(path);
    const std::uint32_t result = open_in(hive_id::current_user, parts, writable, out);
    if (result != win32_error::file_not_found) return result;
    return open_in(hive_id::local_machine, parts, writable, out);
}

std::uint32_t create_key(root where, const std::wstring& path, key& out) {
    out.close();
    if (where == root::local_machine) return win32_error::access_denied;
    const auto parts = where == root::classes_root ? classes_path(path) : split_path(path);
    const std::uint32_t result = change_hive([&parts](node& root, bool& changed) {
        node* current = &root;
        for (const std::wstring& part : parts) {
            auto found = find_named(current->keys, part);
            if (found == current->keys.end()) {
                current->keys.push_back(node{part, {}, {}});
                changed = true;
                found = current->keys.end() - 1;
            }
            current = &*found;
        }
        return std::uint32_t{0};
    });
    if (result != 0) return result;
    out.reset(std::make_unique<key_state>(key_state{hive_id::current_user, parts, true}));
    return 0;
}

std::uint32_t delete_tree(root where, const std::wstring& path) {
    if (where == root::local_machine) return win32_error::access_denied;
    const auto parts = where == root::classes_root ? classes_path(path) : split_path(path);
    if (parts.empty()) return win32_error::access_denied;
    return change_hive([&parts](node& root, bool& changed) {
        node* parent = find_key(root, std::vector<std::wstring>(parts.begin(), parts.end() - 1));
        if (parent == nullptr) return win32_error::file_not_found;
        const auto found = find_named(parent->keys, parts.back());
        if (found == parent->keys.end()) return win32_error::file_not_found;
        parent->keys.erase(found);
        changed = true;
        return std::uint32_t{0};
    });
}

std::optional<std::wstring> association_progid(const std::wstring& extension) {
    if (extension.empty()) return std::nullopt;
    const std::string mime = mime_type_of(text::to_utf8(extension[0] == L'.' ? extension : L"." + extension));
    if (mime.empty()) return std::nullopt;
    const std::string application = default_application(mime);
    if (application.empty()) return std::nullopt;
    return text::from_utf8(application);
}

read_phase::read_phase() {
    const std::lock_guard lock(guard());
    // Only the outermost phase forgets what an earlier one looked at: inner
    // ones share it.
    if (phase().depth++ > 0) return;
    phase().machine_file.reset();
    phase().applications.clear();
    for (auto& [path, hive] : cache()) hive.checked = false;
}

read_phase::~read_phase() {
    const std::lock_guard lock(guard());
    --phase().depth;
}

void override_hives(const std::wstring& folder) {
    const std::lock_guard lock(guard());
    if (folder.empty()) {
        override_folder().reset();
    } else {
        override_folder() = text::to_utf8(folder);
    }
}

}  // namespace platform::registry
