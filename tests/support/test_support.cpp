#include "test_support.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <utime.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (fs::temp_directory_path() / "convert-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> ScopedTempDir::names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void set_modified(const fs::path& path, int year, int month, int day) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const utimbuf times{when, when};
    if (::utime(path.c_str(), &times) != 0) throw std::runtime_error("utime failed");
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit failed");
    previous_soft_ = limit.rlim_cur;
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previous_soft_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous_handler_);
}

std::string crlf_lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) text.append(line).append("\r\n");
    return text;
}

std::string source_with_a1(std::initializer_list<std::array<std::string_view, 3>> vehicles) {
    std::string text = std::string(kFullHeader) + "\r\n";
    for (const auto& [make, model, a1] : vehicles) {
        text.append(make).append(",").append(model).append(",").append(a1);
        text.append(",345,,7,100,99,5,480,178,145,270,150,151,1250,55,98\r\n");
    }
    return text;
}

std::vector<std::string> RecordingView::messages() const {
    std::vector<std::string> result;
    for (const std::string& line : log) {
        if (line.rfind("message ", 0) == 0) result.push_back(line.substr(8));
    }
    return result;
}

std::string RecordingView::selected_text() const {
    return selected >= 0 && selected < static_cast<int>(entries.size()) ? entries[selected] : "";
}

std::string RecordingView::entry_text(int index) const {
    return entries.at(index);
}

void RecordingView::set_entry_text(int index, const std::string& text) {
    entries.at(index) = text;
    log.push_back("entry " + std::to_string(index) + " = " + text);
}

void RecordingView::process_pending_events() {
    log.push_back("events");
    if (on_events) on_events();
}

void RecordingView::show_message(const std::string& text) {
    log.push_back("message " + text);
    if (on_message) on_message(text);
}

}  // namespace testing_support
