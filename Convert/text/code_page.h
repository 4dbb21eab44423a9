// The code page target files are written in: the one their readers have
// always taken them to be in. Values read as UTF-8 are written in it.
#pragma once

#include <string>
#include <string_view>

namespace convert {

class CodePage {
public:
    /// The number Windows gives the code page: 1252, 932, 65001 (UTF-8).
    virtual unsigned number() const = 0;
    /// Appends `text`, strict UTF-8, in this code page. False, having
    /// appended part of it or nothing, when it holds a character the code
    /// page has no bytes for; no look-alike ever stands in for one.
    virtual bool encode(std::string_view text, std::string& out) const = 0;

protected:
    ~CodePage() = default;
};

inline constexpr unsigned kUtf8CodePage = 65001;

/// Windows-1252.
const CodePage& windows_1252_code_page();

/// This system's code page for targets: on Windows the ANSI code page, on
/// other systems Windows-1252. Its own part lives in code_page_<platform>.cpp.
const CodePage& target_code_page();

}  // namespace convert
