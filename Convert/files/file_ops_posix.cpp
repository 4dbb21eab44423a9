// The file operations on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>

#include "files/file_ops.h"
#include "files/file_ops_internal.h"
#include "text/ascii_text.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

std::string last_error() {
    return std::generic_category().message(errno);
}

class FileSource : public SourceBytes {
public:
    FileSource(int fd, const struct stat& opened) : fd_(fd), opened_(opened) {}
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override { ::close(fd_); }

    std::size_t size_hint() const override { return static_cast<std::size_t>(opened_.st_size); }

    std::size_t read(char* into, std::size_t size) override {
        read_through_ = true;
        for (;;) {
            const ssize_t n = ::read(fd_, into, size);
            if (n >= 0) {
                read_ += static_cast<std::uint64_t>(n);
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) throw ReadError(last_error());
        }
    }

    std::uint64_t size() const override { return static_cast<std::uint64_t>(opened_.st_size); }
    void read_at(std::uint64_t offset, char* into, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::pread(fd_, into, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw ReadError(last_error());
            if (n == 0) throw ReadError(kCutShort);
            into += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
    }

    bool changed() const override {
        struct stat now {};
        return ::fstat(fd_, &now) != 0 || now.st_size != opened_.st_size ||
               now.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
               now.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec ||
               (read_through_ && read_ != static_cast<std::uint64_t>(opened_.st_size));
    }

private:
    int fd_;
    struct stat opened_;
    std::uint64_t read_ = 0;
    bool read_through_ = false;  // read from its first byte on, not at offsets
};

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void sync_folder(const fs::path& folder) {
    // The rename has taken effect already; this only hastens it to the disk,
    // so a folder that cannot be opened or flushed changes nothing.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

namespace platform {

FileResult<std::vector<std::string>> entry_names(const fs::path& folder) {
    FileResult<std::vector<std::string>> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.value.push_back(it->path().filename().native());
    }
    if (ec) return decltype(names)::failure(FileStep::read, ec.message());
    return names;
}

EntryKind entry_kind(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) ? EntryKind::file : EntryKind::other;
    // The name is there but what it leads to cannot be examined.
    if (::lstat(path.c_str(), &st) == 0) return EntryKind::file;
    return EntryKind::none;
}

void delete_file(const fs::path& path) {
    ::unlink(path.c_str());
}

std::uint64_t current_process_id() {
    return static_cast<std::uint64_t>(::getpid());
}

bool temporary_in_use(const fs::path&, std::uint64_t pid) {
    const auto id = static_cast<pid_t>(pid);
    if (id <= 0 || static_cast<std::uint64_t>(id) != pid) return false;
    return ::kill(id, 0) == 0 || errno == EPERM;
}

bool same_name(std::string_view a, std::string_view b) {
    return equals_ignoring_case(a, b);
}

bool matches_pattern(std::string_view pattern, std::string_view name) {
    return wildcard_match(pattern, name, [](char p, char n) {
        return equals_ignoring_case({&p, 1}, {&n, 1});
    });
}

}  // namespace platform

std::string bytes_of(const fs::path& name) {
    return name.native();
}

fs::path path_of(std::string_view bytes) {
    return fs::path(std::string(bytes));
}

std::vector<fs::path> program_arguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc};
}

std::string system_reason(int code) {
    return std::generic_category().message(code);
}

std::string AtomicFile::refusal_reason() {
    return system_reason(EACCES);
}

FileResult<std::vector<ListedFile>> list_files(const fs::path& folder) {
    FileResult<std::vector<ListedFile>> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().native();
        struct stat st {};
        if (name.front() == '.' || ::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        std::tm local{};
        char date[32];
        if (::localtime_r(&st.st_mtime, &local) == nullptr ||
            std::strftime(date, sizeof date, "%Y-%m-%d", &local) == 0) {
            continue;
        }
        files.value.push_back({fs::path(std::move(name)), date});
    }
    if (ec) return decltype(files)::failure(FileStep::read, ec.message());
    return files;
}

OpenedSource platform::open_found(const fs::path& found) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the read.
    const int fd = ::open(found.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return OpenedSource::failure(FileStep::read, last_error());
    struct stat st {};
    const bool examined = ::fstat(fd, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        const std::string reason = examined ? kNotAFile : last_error();
        ::close(fd);
        return OpenedSource::failure(FileStep::read, reason);
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return {std::make_unique<FileSource>(fd, st)};
}

void AtomicFile::create() {
    int fd = -1;
    if (refused(Step::create)) {
        failure_ = refusal_reason();
    } else {
#ifdef O_TMPFILE
        if (options_.temporary == Temporary::unnamed_where_possible) {
            fd = ::open(folder_of(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        }
#endif
        if (fd < 0) {
            // No unnamed files here (FAT, many network shares): a named one.
            for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
                temporary_ = temporary_name(target_);
                fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (fd < 0 && errno != EEXIST) break;
            }
            if (fd < 0) {
                failure_ = last_error();
                temporary_.clear();
            }
        }
    }
    handle_ = fd < 0 ? kNoHandle : fd;
}

void AtomicFile::write(std::string_view bytes) {
    if (!open()) return;
    if (refused(Step::write) || !write_all(handle_, bytes)) {
        failure_ = refused(Step::write) ? refusal_reason() : last_error();
        discard();  // give the disk space back at once
        return;
    }
    written_ += bytes.size();
#ifdef SYNC_FILE_RANGE_WRITE
    // Start writing what is there to disk while the rest is converted, so
    // that the flush before the rename has little left to wait for. This
    // only starts the writing; whether it succeeds the flush tells.
    if (written_ - flushed_ >= kWritebackStep) {
        (void)::sync_file_range(handle_, static_cast<off_t>(flushed_),
                                static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
        flushed_ = written_;
    }
#endif
}

namespace {

/// Gives the unnamed file `fd` a temporary name beside `target`, unless
/// `refused`; sets `temporary` to it. False when it cannot.
bool name_unnamed(int fd, const fs::path& target, bool refused, fs::path& temporary) {
    const std::string fd_path = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100 && !refused; ++attempt) {
        const fs::path name = temporary_name(target);
        // Linking by descriptor needs a privilege; through /proc it does not.
        if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
            ::linkat(AT_FDCWD, fd_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    if (refused) errno = EACCES;
    return false;
}

}  // namespace

AtomicFile::Replaced AtomicFile::find_replaced() const {
    Replaced old{find_file(target_).value_or(target_)};
    struct stat st {};
    old.exists = ::lstat(old.path.c_str(), &st) == 0;
    old.kind = st.st_mode;
    // A file its owner may not write is kept, as Windows keeps a read-only one.
    if (old.exists && S_ISDIR(st.st_mode)) {
        old.refusal = kFolderInTheWay;
    } else if (old.exists && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
        old.refusal = kReadOnly;
    }
    return old;
}

std::string AtomicFile::keep_from(const Replaced& old) {
    // A replaced file keeps its permissions where the system lets it; the
    // new file's default ones are no reason to keep the old content.
    if (!old.exists || !S_ISREG(old.kind)) return "";
    if (refused(Step::access)) return refusal_reason();
    return ::fchmod(handle_, old.kind & 07777) == 0 ? "" : last_error();
}

bool AtomicFile::make_durable(const Replaced&, std::string& reason) {
    const bool synced = !refused(Step::flush) && ::fsync(handle_) == 0;
    if (!synced) reason = refused(Step::flush) ? refusal_reason() : last_error();
    if (synced && temporary_.empty() &&
        !name_unnamed(handle_, target_, refused(Step::name), temporary_)) {
        reason = last_error();
        return false;
    }
    if (::close(std::exchange(handle_, kNoHandle)) != 0 && synced) {
        reason = last_error();
        return false;
    }
    return synced;
}

bool AtomicFile::put_in_place(const Replaced& old, std::string& reason) {
    if (::rename(temporary_.c_str(), old.path.c_str()) != 0) {
        reason = last_error();
        return false;
    }
    temporary_.clear();
    sync_folder(folder_of(target_));
    return true;
}

void AtomicFile::discard() {
    if (open()) ::close(std::exchange(handle_, kNoHandle));
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace convert
