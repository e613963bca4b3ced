// Program starts on Linux with real processes, and the PE version reader on
// DLLs made by the MinGW resource compiler.

#include "platform/process_launch.h"

#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/version_dll.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace process = platform::process;
using qlm::testing::read_bytes;
using qlm::testing::temp_folder;

std::wstring executable(const temp_folder& folder, const std::wstring& name, const std::string& script) {
    const std::wstring path = folder.write(name, script);
    ::chmod(platform::text::to_utf8(path).c_str(), 0755);
    return path;
}

// Waits (bounded) for a file that a detached program writes.
std::string wait_for_file(const std::wstring& path) {
    for (int i = 0; i < 200 && !std::filesystem::exists(platform::text::to_utf8(path)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return read_bytes(path);
}

TEST(process_launch_posix, waited_programs_get_windows_arguments_and_give_their_exit_codes) {
    const temp_folder folder;
    const std::wstring echo = executable(folder, L"echo args",
                                         "#!/bin/sh\n{ for a in \"$@\"; do printf '%s|' \"$a\"; done; echo; "
                                         "mask=$(grep SigIgn /proc/$$/status | cut -f2); "
                                         "echo \"SIGPIPE ignored: $(( 0x$mask >> 12 & 1 ))\"; } > \"$0.out\"\nexit 7\n");
    // What we ignore is not passed on.
    const auto old_pipe = std::signal(SIGPIPE, SIG_IGN);
    const process::wait_outcome echoed =
        process::run_and_wait(L"\"" + echo + L"\" -File \"C:\\a b\\x.ps1\" \"\" q\\\"uote \\\\\"x y\"", 1);
    std::signal(SIGPIPE, old_pipe);
    EXPECT_TRUE(echoed.started);
    EXPECT_EQ(echoed.exit_code, 7u);
    EXPECT_EQ(read_bytes(echo + L".out"), "-File|C:\\a b\\x.ps1||q\"uote|\\x y|\nSIGPIPE ignored: 0\n");

    struct row {
        std::wstring command_line;
        bool started;
        std::uint32_t code_or_error;
    };
    const row rows[] = {
        {L"sh -c \"exit 0\"", true, 0},                       // a bare name is looked up on PATH
        {L"/bin/sh -c \"exit 255\"", true, 255},
        {L"/bin/sh -c \"kill -9 $$\"", true, 137},            // death by signal 9
        {L"\"\\cmd.exe\" /c \"x.bat\" ", false, 2},             // no system folder on Linux
        {L"\"" + folder.path() + L"/missing\" ", false, 2},
        {L"", false, 2},
    };
    for (const row& r : rows) {
        const process::wait_outcome outcome = process::run_and_wait(r.command_line, 1);
        EXPECT_EQ(outcome.started, r.started) << r.command_line.size();
        EXPECT_EQ(r.started ? outcome.exit_code : outcome.error, r.code_or_error) << r.command_line.size();
    }
}

TEST(process_launch_posix, detached_programs_run_in_their_own_session_on_null_streams) {
    const temp_folder folder;
    const std::wstring program = executable(folder, L"detached",
                                            "#!/bin/sh\nsleep 3\n"
                                            "in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1)\n"
                                            "read -r pid comm state ppid group session rest < /proc/$$/stat\n"
                                            "leader=no; [ \"$session\" = \"$$\" ] && leader=yes\n"
                                            "printf '%s\\n%s\\n%s\\n%s\\n' \"$in\" \"$out\" \"$leader\" \"$1\" > \"$0.tmp\"\n"
                                            "mv \"$0.tmp\" \"$0.out\"\n");
    const std::wstring out = program + L".out";
    EXPECT_EQ(process::start_command_detached(L"\"" + program + L"\" \"an argument\"", 0), 0u);
    // The call returned without waiting for the program's sleep.
    EXPECT_FALSE(std::filesystem::exists(platform::text::to_utf8(out)));
    EXPECT_EQ(wait_for_file(out), "/dev/null\n/dev/null\nyes\nan argument\n");

    EXPECT_EQ(process::start_command_detached(L"\"" + folder.path() + L"/missing\"", 1), 2u);
    EXPECT_EQ(process::start_command_detached(L"", 1), 2u);
}

TEST(process_launch_posix, pe_product_version_of_real_dlls_and_of_garbage) {
    const temp_folder folder;
    const std::wstring dll = folder / L"v.dll";
    ASSERT_TRUE(qlm::testing::make_version_dll(dll, 7, 4, 2));
    EXPECT_EQ(process::product_version(dll), (process::file_version{7, 4, 2}));
    ASSERT_TRUE(qlm::testing::make_version_dll(dll, 65535, 0, 65535));
    EXPECT_EQ(process::product_version(dll), (process::file_version{65535, 0, 65535}));
    EXPECT_EQ(process::product_version(folder / L"none.dll"), std::nullopt);
    EXPECT_EQ(process::product_version(folder.write(L"text.dll", "MZ not really")), std::nullopt);

    // Every cut and every flipped byte of a real file: an answer or none, never
    // a read outside the bytes (the sanitizer build watches).
    const std::string bytes = read_bytes(dll);
    ASSERT_GT(bytes.size(), 512u);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        (void)process::pe_product_version(std::string_view(bytes).substr(0, length));
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] = static_cast<char>(changed[i] ^ 0xFF);
        (void)process::pe_product_version(changed);
    }
}

TEST(process_launch_posix, pwsh_found_on_path_through_its_link_with_the_version_beside_it) {
    const temp_folder folder;
    const std::wstring install = folder.make_folder(L"install");
    const std::wstring pwsh = executable(folder, L"install/pwsh", "#!/bin/sh\nexit 0\n");
    const std::wstring bin = folder.make_folder(L"bin");
    std::filesystem::create_symlink(platform::text::to_utf8(pwsh), platform::text::to_utf8(bin + L"/pwsh"));
    folder.make_folder(L"later");
    executable(folder, L"later/pwsh", "#!/bin/sh\n");

    // Made while PATH still finds the MinGW tools.
    const std::wstring made = folder / L"made.dll";
    ASSERT_TRUE(qlm::testing::make_version_dll(made, 7, 4, 2));

    const qlm::testing::scoped_env path("PATH", platform::text::to_utf8(folder.path() + L"/empty") + "::" +
                             platform::text::to_utf8(bin) + ":" + platform::text::to_utf8(folder / L"later"));
    const auto candidates = process::pwsh_candidates();
    ASSERT_FALSE(candidates.empty());
    EXPECT_EQ(candidates.front(), platform::text::from_utf8(std::filesystem::canonical(platform::text::to_utf8(pwsh)).string()));
    EXPECT_EQ(process::pwsh_version(pwsh), std::nullopt);
    std::filesystem::rename(platform::text::to_utf8(made), platform::text::to_utf8(install + L"/pwsh.dll"));
    EXPECT_EQ(process::pwsh_version(pwsh), (process::file_version{7, 4, 2}));
}

}  // namespace
