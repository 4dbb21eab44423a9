// Why a workbook cannot be read at all: it is not a workbook of its kind
// (or a damaged one), or a password is needed to open it.
#pragma once

#include <stdexcept>
#include <string>

namespace convert {

struct WorkbookError : std::runtime_error {
    enum class Kind {
        unreadable,  // what() says why, in Convert's words or its library's
        encrypted,   // a password is needed to open it
    };
    WorkbookError(Kind kind, const std::string& reason) : std::runtime_error(reason), kind(kind) {}
    Kind kind;
};

}  // namespace convert
