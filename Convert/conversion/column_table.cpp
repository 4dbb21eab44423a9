#include "column_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "ascii_text.h"
#include "source_lines.h"

namespace convert {

namespace {

const char* find(const char* from, const char* end, char c) {
    const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return at != nullptr ? static_cast<const char*>(at) : end;
}

/// The closing quote of the quoted field opening at `quote`, or null when
/// the line has none: a quote followed by another stands for one quote.
const char* closing_quote(const char* quote, const char* end) {
    for (const char* at = quote + 1;; at += 2) {
        at = find(at, end, '"');
        if (at == end) return nullptr;
        if (at + 1 == end || at[1] != '"') return at;
    }
}

/// Reads the field that begins at `p`: sets `value` and returns where the
/// field ends (its separator, or `end`). A quoted field's value is written
/// at `out`, which moves past it; it is never longer than the field.
const char* read_field(const char* p, const char* end, char separator, char*& out,
                       std::string_view& value) {
    if (p != end && *p == '"') {
        if (const char* close = closing_quote(p, end)) {
            char* const start = out;
            for (const char* q = p + 1; q != close; ++q) {
                *out++ = *q;
                if (*q == '"') ++q;  // the second quote of a pair
            }
            const char* const after = find(close + 1, end, separator);
            const auto rest = static_cast<std::size_t>(after - (close + 1));
            if (rest != 0) std::memcpy(out, close + 1, rest);
            out += rest;
            value = std::string_view(start, static_cast<std::size_t>(out - start));
            return after;
        }
    }
    const char* const after = find(p, end, separator);
    value = std::string_view(p, static_cast<std::size_t>(after - p));
    return after;
}

}  // namespace

ColumnTable::ColumnTable(std::string_view header, std::span<const std::string_view> names,
                         ChunkScanner scanner)
    : column_of_name_(names.size(), kAbsent), scan_(scanner) {
    if (header.find(',') == std::string_view::npos && header.find(';') != std::string_view::npos) {
        separator_ = ';';
    }
    // One pass over the header. The names are upper case, so comparing
    // ignoring case is comparing the upper-cased header field.
    std::string unquoted(header.size(), '\0');
    std::size_t unmatched = names.size();
    const char* p = header.data();
    const char* const end = p + header.size();
    for (std::size_t column = 0; unmatched > 0; ++column) {
        char* out = unquoted.data();
        std::string_view field;
        p = read_field(p, end, separator_, out, field);
        for (std::size_t i = 0; i < names.size(); ++i) {
            // The first match wins, so two names never share a column.
            if (column_of_name_[i] != kAbsent || !equals_ignoring_case(field, names[i])) continue;
            column_of_name_[i] = column;
            columns_ = std::max(columns_, column + 1);
            name_of_column_.resize(columns_ + 64, kUnwanted);
            name_of_column_[column] = static_cast<int>(i);
            --unmatched;
            break;
        }
        if (p == end) break;
        ++p;
    }
}

inline void ColumnTable::set(std::size_t column, const char* start, std::size_t size,
                             std::span<std::string_view> values) const {
    if (const int name = name_of_column_[column]; name != kUnwanted) {
        values[static_cast<std::size_t>(name)] = trim_spaces(std::string_view(start, size));
    }
}

void ColumnTable::read(std::string_view line, std::span<std::string_view> values) {
    std::size_t visited = 0;
    const bool unquoted =
        each_field(line, [&](std::size_t column, const char* start, std::size_t size) {
            set(column, start, size, values);
            visited = column + 1;
        });
    if (!unquoted) {
        read_quoted(line, values);
        return;
    }
    // The line ended before these columns.
    for (std::size_t column = visited; column < columns(); ++column) {
        set(column, kNoBytes, 0, values);
    }
}

void ColumnTable::read_quoted(std::string_view line, std::span<std::string_view> values) {
    // Values are never longer than the line, so the views into unquoted_
    // stay valid while the rest is written.
    if (unquoted_.size() < line.size() + kLinePadding) unquoted_.resize(line.size() + kLinePadding);
    char* out = unquoted_.data();
    const char* p = line.data();
    const char* const end = p + line.size();
    const std::size_t columns = columns_;
    std::size_t column = 0;
    while (column < columns) {
        std::string_view value;
        p = read_field(p, end, separator_, out, value);
        set(column++, value.data(), value.size(), values);
        if (p == end) break;
        ++p;
    }
    for (; column < columns; ++column) set(column, kNoBytes, 0, values);
}

}  // namespace convert
