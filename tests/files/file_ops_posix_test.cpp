// What only POSIX systems can show: a writer killed outright, a disk that
// takes fewer bytes than the output, permissions and symbolic links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "files/file_ops.h"
#include "run/convert_file.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

/// While it lives, no file of this process may grow beyond `bytes`: a write
/// past it fails (EFBIG) instead of raising SIGXFSZ. Fails as root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit failed");
        previous_ = limit.rlim_cur;
        handler_ = ::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
    }
    ~FileSizeLimit() {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = previous_;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlim_t previous_;
    sighandler_t handler_;
};

TEST(SaveFile, KeepsPermissionsAndFailsWholeWhenTheDiskIsFull) {
    // A replaced target keeps its permissions where the system lets it; a
    // new one has the usual ones.
    const mode_t mask = ::umask(022);
    const struct {
        mode_t old;  // 0: no old target
        bool refused;
        mode_t now;
    } cases[] = {{0640, false, 0640}, {0, false, 0644}, {0640, true, 0644}};
    for (const auto& c : cases) {
        ScopedTempDir dir;
        if (c.old != 0) {
            write_file(dir / "SP1999.TXT", "old");
            ::chmod((dir / "SP1999.TXT").c_str(), c.old);
        }
        AtomicFile::Options options;
        options.refuse = [&](AtomicFile::Step step) {
            return c.refused && step == AtomicFile::Step::access;
        };
        EXPECT_EQ(save_file(dir / "SP1999.TXT", "new", options), FileStep::none);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "SP1999.TXT").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.now) << std::oct << c.old << " " << c.refused;
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), "new");
    }
    {
        SCOPED_TRACE("permissions not kept are not kept in silence");
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kValid);
        write_file(dir / "SP1999.TXT", "old");
        TestFiles files;
        files.save.refuse = [](AtomicFile::Step step) { return step == AtomicFile::Step::access; };
        EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV", files).messages,
                  std::vector<std::string>{"Done.\r\nThe access rights of SP1999.TXT could not be "
                                           "kept (Permission denied); it now has its folder's."});
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
    }
    ::umask(mask);
    {
        SCOPED_TRACE("the disk takes fewer bytes than the output");
        ScopedTempDir dir;
        write_file(dir / "SP1999.TXT", "previous target");
        write_file(dir / "SPE1999.CSV", kValid);
        {
            // The system's reason reaches the message.
            FileSizeLimit limit(8);
            EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV").messages,
                      (std::vector<std::string>{"Could not Save existing file.  Data not saved.",
                                                "File too large"}));
            fs::remove(dir / "SPE1999.CSV");
        }
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous target");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"SP1999.TXT"});
    }
}

/// Waits until process `pid` has written bytes to a file of `folder` other
/// than `source`; false when it never did within ten seconds.
bool wait_until_writing(pid_t pid, const fs::path& folder, const fs::path& source) {
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < give_up) {
        std::error_code ec;
        for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path file = fs::read_symlink(it->path(), ec);
            struct stat st {};
            if (!ec && file.parent_path() == folder && file != source &&
                ::stat(it->path().c_str(), &st) == 0 && st.st_size > 0) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// A read the system itself refuses: /proc/self/mem is an ordinary file whose
// first bytes cannot be read.
TEST(ReadFile, AReadTheSystemRefusesIsReported) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SP1999.TXT", "previous");
    TestFiles files;
    files.open_instead = [](const fs::path&) { return open_source("/proc/self/mem"); };
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV", files).messages,
              (std::vector<std::string>{"Could not read SPE1999.CSV.  Data not converted.",
                                        "Input/output error"}));
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous");
}

/// Whether `folder`'s file system gives unnamed files, asked directly.
bool has_unnamed_files(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

/// Kills a conversion while it writes its target through `temporary`; the
/// old target stays and the next run leaves nothing else behind.
void kill_while_writing(AtomicFile::Temporary temporary) {
    std::string source = std::string(kFullHeader) + "\r\n";
    for (int i = 0; i < 300'000; ++i) source.append(kExampleLine).append("\r\n");
    std::string target;
    for (int i = 0; i < 300'000; ++i)
        target.append(kExampleTarget.substr(0, kExampleTarget.size() - 2));
    target += "\r\n";

    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", source);
    write_file(dir / "SP1999.TXT", "previous");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TestFiles files;
        files.block = 1 << 16;
        files.save.temporary = temporary;
        run_file(dir.path(), "SPE1999.CSV", files);
        ::_exit(0);
    }
    const bool caught = wait_until_writing(child, dir.path(), dir / "SPE1999.CSV");
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(caught && WIFSIGNALED(status)) << "the child was not killed while writing";

    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "previous");
    std::vector<std::string> left = dir.names();
    if (temporary == AtomicFile::Temporary::named) {
        // The named temporary stays until the next run clears it.
        ASSERT_EQ(left.size(), 3u);
        EXPECT_EQ(left[0].rfind(".SP1999.TXT." + std::to_string(child) + ".", 0), 0u);
        left.erase(left.begin());
    }
    EXPECT_EQ(left, (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));

    TestFiles files;
    files.save.temporary = temporary;
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV", files).outcome, endings::converted);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
    EXPECT_TRUE(read_file(dir / "SP1999.TXT") == target) << "the target differs";
}

TEST(AtomicFile, AConversionKilledWhileWritingANamedTemporaryLeavesItForTheNextRun) {
    kill_while_writing(AtomicFile::Temporary::named);
}

TEST(AtomicFile, AConversionKilledWhileWritingAnUnnamedFileLeavesNothing) {
    ScopedTempDir dir;
    if (!has_unnamed_files(dir.path())) {
        GTEST_SKIP() << "the file system of " << dir.path() << " has no unnamed files";
    }
    kill_while_writing(AtomicFile::Temporary::unnamed_where_possible);
}

TEST(AtomicFile, UnnamedWhereTheFileSystemAllows) {
    ScopedTempDir dir;
    if (!has_unnamed_files(dir.path())) {
        GTEST_SKIP() << "the file system of " << dir.path() << " has no unnamed files";
    }
    write_file(dir / "SP1999.TXT", "old");
    {
        AtomicFile file(dir / "SP1999.TXT");
        file.write("new");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"SP1999.TXT"});
        EXPECT_EQ(file.commit().failed, FileStep::none);
    }
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "new");
    // A new file that cannot be given its name is dropped.
    write_file(dir / "SPE1999.CSV", kValid);
    TestFiles files;
    files.save.refuse = [](AtomicFile::Step step) { return step == AtomicFile::Step::name; };
    EXPECT_EQ(run_file(dir.path(), "SPE1999.CSV", files).messages,
              (std::vector<std::string>{"Could not Save existing file.  Data not saved.",
                                        refused_reason()}));
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "new");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
}

// A writer without the privilege of linking by descriptor names its file
// through /proc; tests run as root try it in a child made nobody.
TEST(AtomicFile, AnUnprivilegedWriterNamesItsFileThroughProc) {
    ScopedTempDir dir;
    if (!has_unnamed_files(dir.path())) {
        GTEST_SKIP() << "the file system of " << dir.path() << " has no unnamed files";
    }
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SP1999.TXT", "previous");
    ::chmod(dir.path().c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(run_file(dir.path(), "SPE1999.CSV").outcome == endings::converted ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
}

}  // namespace
