// The least a crash-safe rewrite of a file can cost: read it whole, write
// the same bytes to a new file beside it, sync that file, rename it over the
// original, and sync the folder once at the end. No metadata work at all, so
// write_bench.sh can show how much of qlm's time is the disk's and how much
// is qlm's own. With --no-sync the two syncs are left out.
// Usage: replace_floor [--no-sync] file...

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(const std::string& what, const std::string& path) {
    std::fprintf(stderr, "replace_floor: %s %s: %s\n", what.c_str(), path.c_str(), std::strerror(errno));
    return false;
}

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool rewrite(const std::string& path, bool sync, std::vector<char>& buffer) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail("open", path);
    struct stat info {};
    if (::fstat(in, &info) != 0) return fail("stat", path);
    buffer.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(in, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(in);
    const auto slash = path.find_last_of('/');
    const std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".floor-" +
                                  (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    if (out < 0) return fail("create", temporary);
    if (!write_all(out, buffer.data(), got)) return fail("write", temporary);
    if (sync && ::fsync(out) != 0) return fail("sync", temporary);
    if (::close(out) != 0) return fail("close", temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("rename", temporary);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool sync = true;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--no-sync") == 0) {
        sync = false;
        first = 2;
    }
    std::vector<char> buffer;
    int status = 0;
    for (int i = first; i < argc; ++i) {
        if (!rewrite(argv[i], sync, buffer)) status = 1;
    }
    if (sync && first < argc) {
        const std::string path = argv[first];
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        if (const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return status;
}
