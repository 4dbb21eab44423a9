// What only Windows can show: targets held open or read-only, file names
// beyond the ANSI code page, and file attributes.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "files/file_ops.h"
#include "run/convert_file.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

/// Holds `path` open without sharing, as another program may.
class HeldOpen {
public:
    explicit HeldOpen(const fs::path& path)
        : file_(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() { release(); }
    bool held() const { return file_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (held()) ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE file_;
};

TEST(AtomicFile, ATargetHeldOpenOrReadOnlyIsNotReplaced) {
    for (const bool read_only : {false, true}) {
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", crlf_lines({kFullHeader, kExampleLine}));
        write_file(dir / "SP1999.TXT", "previous");
        HeldOpen held(dir / (read_only ? "SPE1999.CSV" : "SP1999.TXT"));
        ASSERT_TRUE(held.held());
        if (read_only) {
            held.release();
            ::SetFileAttributesW((dir / "SP1999.TXT").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        const Ran ran = run_file(dir.path(), "SPE1999.CSV");
        EXPECT_EQ(ran.outcome, endings::replace_failed) << read_only;
        // The system's reason: another program holds it, or it is read-only.
        EXPECT_EQ(ran.messages,
                  (std::vector<std::string>{"Could not Delete existing file.  Data not saved.",
                                            read_only ? "The file is read-only."
                                                      : system_reason(ERROR_SHARING_VIOLATION)}));
        held.release();
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
        ::SetFileAttributesW((dir / "SP1999.TXT").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(AtomicFile, ATargetLetGoWhileRetryingIsReplaced) {
    ScopedTempDir dir;
    write_file(dir / "SP1999.TXT", "previous");
    HeldOpen held(dir / "SP1999.TXT");
    ASSERT_TRUE(held.held());
    std::thread let_go([&] {
        ::Sleep(200);
        held.release();
    });
    EXPECT_EQ(save_file(dir / "SP1999.TXT", "new"), FileStep::none);
    let_go.join();
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "new");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"SP1999.TXT"});
}

// A writer ended outright (a crash, Task Manager): its named temporary is
// all it leaves, and the next run removes it.
TEST(AtomicFile, AKilledWritersTemporaryGoesWithTheNextRun) {
    constexpr wchar_t kChildFolder[] = L"CONVERT_TEST_KILLED_WRITER";
    wchar_t folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(kChildFolder, folder, MAX_PATH) != 0) {
        // The child: converts until it is ended.
        TestFiles files;
        files.block = 1 << 16;
        run_file(folder, "SPE1999.CSV", files);
        return;
    }
    ScopedTempDir dir;
    std::string source = std::string(kFullHeader) + "\r\n";
    for (int i = 0; i < 300'000; ++i) source.append(kExampleLine).append("\r\n");
    write_file(dir / "SPE1999.CSV", source);
    write_file(dir / "SP1999.TXT", "previous");

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) +
        L"\" --gtest_filter=AtomicFile.AKilledWritersTemporaryGoesWithTheNextRun";
    ::SetEnvironmentVariableW(kChildFolder, dir.path().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &child);
    ::SetEnvironmentVariableW(kChildFolder, nullptr);
    ASSERT_TRUE(started);
    bool writing = false;
    for (int wait = 0; wait < 10'000 && !writing; ++wait) {
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            std::error_code ec;
            writing |= entry.path().filename().native().starts_with(L".SP1999.TXT.") &&
                       entry.file_size(ec) > 0;
        }
        ::Sleep(1);
    }
    ::TerminateProcess(child.hProcess, 1);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ASSERT_TRUE(writing) << "the child never wrote";

    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous");
    EXPECT_EQ(dir.names().size(), 3u);
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV").outcome, endings::converted);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
}

TEST(FileNames, EveryNameIsListedAndFoundAgainByItsBytes) {
    const std::vector<std::string> names = {"SPE2001.CSV",
                                            "sp\xc3\xa9"
                                            "2001.csv",
                                            "\xe6\x97\xa5\xe6\x9c\xac.csv", "\xf0\x9f\x98\x80.csv"};
    ScopedTempDir dir;
    for (const std::string& name : names) {
        EXPECT_EQ(bytes_of(path_of(name)), name);
        write_file(dir / name, name);
        EXPECT_EQ(read_file(dir / name), name);
    }
    std::vector<std::string> listed;
    for (const ListedFile& file : list_files(dir.path()).value)
        listed.push_back(bytes_of(file.name));
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    // An unpaired surrogate maps to three bytes and back.
    const fs::path lone(std::wstring(L"a\xD800z"));
    EXPECT_EQ(bytes_of(lone), "a\xed\xa0\x80z");
    EXPECT_EQ(path_of(bytes_of(lone)).native(), lone.native());
}

TEST(FileNames, SystemFilesAreNotListed) {
    ScopedTempDir dir;
    write_file(dir / "system.csv", "x");
    ::SetFileAttributesW((dir / "system.csv").c_str(), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(list_files(dir.path()).value.empty());
}

/// Gives `path` an access entry of its own, as a user's sharing would.
bool give_own_access(const fs::path& path) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t everyone[] = L"EVERYONE";
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = GENERIC_READ;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    entry.Trustee.ptstrName = everyone;
    PACL with_entry = nullptr;
    const bool given = ::SetEntriesInAclW(1, &entry, acl, &with_entry) == ERROR_SUCCESS &&
                       ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                               DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                               with_entry, nullptr) == ERROR_SUCCESS;
    ::LocalFree(with_entry);
    ::LocalFree(descriptor);
    return given;
}

// Through a whole run: the new target is never hidden, always marked for
// backup, keeps the old one's not-indexed and system attributes, and drops
// the states of the old file's data; a share that refuses it the old one's
// access list, or the rename that keeps the old one's readers, still takes
// it. (Wine keeps only some of these bits; each row asks only for those the
// old file really had.)
TEST(AtomicFile, TheNewTargetTakesOnlyTheAttributesThatDescribeIt) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_SYSTEM;
    constexpr DWORD kLooked =
        kKept | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    constexpr DWORD kNone = 0;
    constexpr auto kNoStep = static_cast<AtomicFile::Step>(-1);
    const struct {
        bool old_target;
        DWORD attributes;
        AtomicFile::Step refused = kNoStep;
    } cases[] = {
        {false, kNone},
        {true, FILE_ATTRIBUTE_NORMAL},
        {true, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED},
        {true, FILE_ATTRIBUTE_SYSTEM},
        {true, FILE_ATTRIBUTE_OFFLINE},
        {true, FILE_ATTRIBUTE_NORMAL, AtomicFile::Step::access},
        {true, FILE_ATTRIBUTE_NORMAL, AtomicFile::Step::posix_rename},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.attributes << " refusing " << static_cast<int>(c.refused));
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kValid);
        DWORD had = 0;
        if (c.old_target) {
            write_file(dir / "SP1999.TXT", "previous");
            if (c.refused == AtomicFile::Step::access) {
                ASSERT_TRUE(give_own_access(dir / "SP1999.TXT"));
            }
            ::SetFileAttributesW((dir / "SP1999.TXT").c_str(), c.attributes);
            had = ::GetFileAttributesW((dir / "SP1999.TXT").c_str());
        }
        bool asked = false;
        TestFiles files;
        files.save.refuse = [&](AtomicFile::Step step) {
            asked |= step == c.refused;
            return step == c.refused;
        };
        ASSERT_EQ(run_file(dir.path(), "SPE1999.CSV", files).outcome, endings::converted);
        EXPECT_EQ(asked, c.refused != kNoStep);
        const DWORD now = ::GetFileAttributesW((dir / "SP1999.TXT").c_str());
        EXPECT_EQ(now & kLooked, (had & kKept) | FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
    }
}

// A read the system itself refuses: bytes locked by another program.
TEST(ReadFile, AReadTheSystemRefusesIsReported) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SP1999.TXT", "previous");
    HANDLE holder =
        ::CreateFileW((dir / "SPE1999.CSV").c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED from_start{};
    ASSERT_TRUE(::LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK, 0, 100, 0, &from_start));
    if (OpenedSource probe = open_source(dir / "SPE1999.CSV"); probe.value) {
        char byte = 0;
        try {
            probe.value->read(&byte, 1);
            ::CloseHandle(holder);
            GTEST_SKIP() << "this system does not refuse reads of locked bytes (Wine)";
        } catch (const ReadError&) {
        }
    }
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV").messages,
              std::vector<std::string>{"Could not read SPE1999.CSV.  Data not converted."});
    ::CloseHandle(holder);
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous");
}

// A scanner or sync client that opens the finished temporary just before the
// rename cannot get hold of it, so the save goes through.
TEST(AtomicFile, AScannerCannotHoldTheTemporary) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SP1999.TXT", "previous");
    HANDLE scanner = INVALID_HANDLE_VALUE;
    TestFiles files;
    files.save.refuse = [&](AtomicFile::Step step) {
        if (step != AtomicFile::Step::replace) return false;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.path().filename().native().starts_with(L".SP1999.TXT.")) {
                scanner = ::CreateFileW(entry.path().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            }
        }
        return false;
    };
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV", files).outcome, endings::converted);
    EXPECT_EQ(scanner, INVALID_HANDLE_VALUE);
    if (scanner != INVALID_HANDLE_VALUE) ::CloseHandle(scanner);
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
}

// A folder deeper than MAX_PATH, whose temporary's name would not fit: it is
// listed, its stale temporaries are removed, and its source converts.
TEST(AtomicFile, AFolderDeeperThanMaxPathConverts) {
    ScopedTempDir dir;
    fs::path deep = std::wstring(L"\\\\?\\") + fs::absolute(dir.path()).wstring();
    for (int i = 0; i < 3; ++i) deep /= std::wstring(90, L"abc"[i]);
    fs::create_directories(deep);
    const struct {
        const wchar_t* name;
        std::string_view bytes;
        DWORD attributes;
    } files[] = {{L"SPE1999.CSV", kValid, FILE_ATTRIBUTE_NORMAL},
                 {L".SP1999.TXT.999999999.0.tmp", "stale", FILE_ATTRIBUTE_HIDDEN}};
    for (const auto& [name, bytes, attributes] : files) {
        HANDLE file = ::CreateFileW((deep / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    attributes, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    const fs::path plain = fs::path(deep.wstring().substr(4));
    ASSERT_GT(plain.wstring().size(), 270u);
    const std::vector<ListedFile> listed = list_files(plain).value;
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.front().name, "SPE1999.CSV");
    EXPECT_EQ(run_file(plain, "SPE1999.CSV").outcome, endings::converted);
    EXPECT_EQ(fs::file_size(deep / L"SP1999.TXT"), kExampleTarget.size());
    EXPECT_FALSE(fs::exists(deep / L".SP1999.TXT.999999999.0.tmp"));
}

}  // namespace
