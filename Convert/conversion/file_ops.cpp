#include "file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "text.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

enum class EntryKind { none, file, other };

EntryKind entry_kind(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) ? EntryKind::file : EntryKind::other;
    // The name is there but what it leads to cannot be examined.
    if (::lstat(path.c_str(), &st) == 0) return EntryKind::file;
    return EntryKind::none;
}

fs::path folder_of(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

std::string last_error() {
    return std::generic_category().message(errno);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    /// Closes now and tells whether the close succeeded.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
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

/// Creates a new, empty temporary file beside `target`, named after it and
/// hidden, with the permissions a new file gets.
int create_temporary(const fs::path& target, fs::path& temporary) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        "." + target.filename().string() + "." + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder_of(target) / (prefix + std::to_string(counter++) + ".tmp");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
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

std::optional<fs::path> find_file(const fs::path& path) {
    if (entry_kind(path) == EntryKind::file) return path;
    const std::string name = path.filename().string();
    std::optional<fs::path> best;
    std::error_code ec;
    for (fs::directory_iterator it(folder_of(path), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (!equals_ignoring_case(candidate, name) || candidate == name) continue;
        if (best && best->filename().string() <= candidate) continue;
        if (entry_kind(it->path()) == EntryKind::file) best = it->path();
    }
    return best;
}

ReadResult G_READ(const fs::path& in_file) {
    ReadResult result;
    const std::optional<fs::path> found = find_file(in_file);
    if (!found) {
        result.status = ReadResult::Status::not_found;
        return result;
    }
    auto fail = [&result](std::string why) {
        result.status = ReadResult::Status::failed;
        result.content.clear();
        result.error = std::move(why);
        return std::move(result);
    };
    // Non-blocking, so that a pipe put in the file's place cannot hang the read.
    FileDescriptor fd(::open(found->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return fail(last_error());
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(last_error());
    if (!S_ISREG(st.st_mode)) return fail("not an ordinary file");

    // Read the size the file has now, then whatever it may have grown by
    // since, without ever enlarging the whole content speculatively.
    result.content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    char more[65536];
    for (;;) {
        const bool into_content = got < result.content.size();
        char* const into = into_content ? result.content.data() + got : more;
        const std::size_t room = into_content ? result.content.size() - got : sizeof more;
        const ssize_t n = ::read(fd.get(), into, room);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(last_error());
        }
        if (n == 0) break;
        if (!into_content) result.content.append(more, static_cast<std::size_t>(n));
        got += static_cast<std::size_t>(n);
    }
    result.content.resize(got);
    result.status = ReadResult::Status::ok;
    return result;
}

SaveResult G_FILE_SAVE(const fs::path& in_file, std::string_view in_data) {
    struct stat existing {};
    const bool exact_exists = ::lstat(in_file.c_str(), &existing) == 0;
    std::optional<fs::path> other_case;
    if (!exact_exists) other_case = find_file(in_file);

    fs::path temporary;
    FileDescriptor fd(create_temporary(in_file, temporary));
    if (fd.get() < 0) return SaveResult::write_failed;
    // A replaced file keeps its permissions.
    // A replaced file keeps its permissions where the system lets it; the
    // new file's default ones are no reason to keep the old content.
    if (exact_exists && S_ISREG(existing.st_mode)) {
        (void)::fchmod(fd.get(), existing.st_mode & 07777);
    }
    if (!write_all(fd.get(), in_data) || ::fsync(fd.get()) != 0 || !fd.close()) {
        G_FILE_DELETE(temporary);
        return SaveResult::write_failed;
    }
    if (::rename(temporary.c_str(), in_file.c_str()) != 0) {
        G_FILE_DELETE(temporary);
        return exact_exists ? SaveResult::replace_failed : SaveResult::write_failed;
    }
    if (other_case && !G_FILE_DELETE(*other_case)) {
        // Two files would be left; take the new one back out.
        G_FILE_DELETE(in_file);
        return SaveResult::replace_failed;
    }
    sync_folder(folder_of(in_file));
    return SaveResult::saved;
}

bool G_FILE_DELETE(const fs::path& in_file) {
    const std::optional<fs::path> found = find_file(in_file);
    if (!found) return true;
    return ::unlink(found->c_str()) == 0;
}

}  // namespace convert
