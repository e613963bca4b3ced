// Quillmark.AutoTagging.Service on Linux: starts the local AI service (a
// Node.js program) and stays its parent, so the process list shows the
// service under this program's name and the client's lookup by executable
// finds it. The service dies with this process (parent-death signal), and a
// TERM or INT sent here is passed on to it; the exit status is the service's.
//
// The script is $QLM_AI_SERVICE_SCRIPT, else ai_service/src/main.js beside
// this program; node is $QLM_NODE, else the first "node" on PATH.

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t service_pid = 0;

void pass_on(int signal_number) {
    if (service_pid > 0) ::kill(service_pid, signal_number);
}

std::string own_folder() {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return ".";
    buffer.resize(static_cast<std::size_t>(length));
    const std::size_t slash = buffer.find_last_of('/');
    return slash == std::string::npos ? "." : buffer.substr(0, slash);
}

std::string setting(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? std::string(value) : fallback;
}

}  // namespace

int main() {
    const std::string script = setting("QLM_AI_SERVICE_SCRIPT", own_folder() + "/ai_service/src/main.js");
    const std::string node = setting("QLM_NODE", "node");
    if (::access(script.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "Quillmark.AutoTagging.Service: the service script %s is missing\n", script.c_str());
        return 127;
    }
    const pid_t parent = ::getpid();
    service_pid = ::fork();
    if (service_pid < 0) {
        std::perror("Quillmark.AutoTagging.Service: fork");
        return 126;
    }
    if (service_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(0);  // the parent died before the line above
        const char* arguments[] = {node.c_str(), script.c_str(), nullptr};
        ::execvp(node.c_str(), const_cast<char* const*>(arguments));
        std::perror("Quillmark.AutoTagging.Service: node");
        ::_exit(127);
    }
    struct sigaction action {};
    action.sa_handler = pass_on;
    ::sigemptyset(&action.sa_mask);
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal_number, &action, nullptr);
    int status = 0;
    while (::waitpid(service_pid, &status, 0) < 0) {
        if (errno != EINTR) return 126;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
