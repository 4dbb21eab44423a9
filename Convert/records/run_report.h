// What a conversion run tells its front end while it works: each value the
// target cannot take, as data for the front end to word and show, and how
// far the reading has come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace convert {

/// A value of a row that the target cannot take. The views are valid during
/// the call that reports it.
struct ValueProblem {
    enum class Kind {
        too_long,          // longer in the target's code page than its field's width
        line_break,        // holds a CR or an LF, which a record (one line) cannot
        not_in_code_page,  // holds a character the target's code page has no bytes for
    };
    Kind kind = Kind::too_long;
    std::string_view make;  // the row's MAKE and MODEL, as the source holds them
    std::string_view model;
    std::string_view field;  // the column's name: MAKE, MODEL, A1 ... MYR
    std::string_view value;  // as the source holds it, spaces around it trimmed
    std::size_t length = 0;  // too_long: its length in the target's code page
    int width = 0;           // too_long: the field's width
    unsigned code_page = 0;  // not_in_code_page: the code page's number
};

class RunReport {
public:
    virtual ~RunReport() = default;

    /// A value the target cannot take, shown to the user before the run
    /// goes on (a window shows it in a modal box).
    virtual void problem(const ValueProblem& problem) = 0;

    /// `done` of the source's `total` bytes have been read (total is 0 when
    /// unknown). Called at most once per block read.
    virtual void progress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
};

}  // namespace convert
