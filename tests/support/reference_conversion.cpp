#include "reference_conversion.h"

#include <optional>

namespace reference {

namespace {

struct Column {
    const char* name;
    int width;
};

const Column kFields[16] = {
    {"A1", 3}, {"B1", 3}, {"C1", 3}, {"D1", 3},  {"E1", 3},  {"F1", 3}, {"G1", 3},    {"OL", 3},
    {"OW", 3}, {"OH", 3}, {"WB", 3}, {"TWF", 3}, {"TWR", 3}, {"CW", 4}, {"WDIST", 5}, {"MYR", 3},
};

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

std::string trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
}

/// The fields of a whole row, quotes taken off: a field beginning with a
/// quote runs to its closing quote, "" inside standing for one, and keeps
/// what follows up to the separator.
std::vector<std::string> fields(const std::string& row, char separator) {
    std::vector<std::string> result;
    std::size_t i = 0;
    for (;;) {
        std::string value;
        if (i < row.size() && row[i] == '"') {
            for (++i; i < row.size(); ++i) {
                if (row[i] != '"') {
                    value += row[i];
                } else if (i + 1 < row.size() && row[i + 1] == '"') {
                    value += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        }
        while (i < row.size() && row[i] != separator) value += row[i++];
        result.push_back(value);
        if (i == row.size()) return result;
        ++i;
    }
}

/// Where a text leaves off, read as the start of a row: inside a quoted
/// field or not.
bool ends_inside_quotes(const std::string& text, char separator) {
    bool field_start = true;
    bool inside = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inside) {
            if (c != '"') continue;
            if (i + 1 < text.size() && text[i + 1] == '"') {
                ++i;
            } else {
                inside = false;
            }
        } else if (field_start && c == '"') {
            inside = true;
            field_start = false;
        } else {
            field_start = c == separator;
        }
    }
    return inside;
}

/// Where `line`, read from inside a quoted field, closes it: the place of
/// the closing quote, or npos when the field stays open to its end.
std::size_t closing_quote(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '"') continue;
        if (i + 1 < line.size() && line[i + 1] == '"') {
            ++i;
        } else {
            return i;
        }
    }
    return std::string::npos;
}

struct Line {
    std::string text;
    std::string end;  // its line end, "" for the last line
};

/// The content cut at every line end: the first CR or LF of the content
/// says which, and an LF file's lines may end in CR LF. A CR as the very
/// last byte ends the last line.
std::vector<Line> lines_of(const std::string& content) {
    const std::size_t first = content.find_first_of("\r\n");
    enum { crlf, lf, cr } kind = crlf;
    if (first != std::string::npos && content[first] == '\n') kind = lf;
    if (first != std::string::npos && content[first] == '\r' && first + 1 < content.size() &&
        content[first + 1] != '\n') {
        kind = cr;
    }
    std::vector<Line> lines;
    std::string text;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        const bool last = i + 1 == content.size();
        const bool crlf_here = c == '\r' && !last && content[i + 1] == '\n';
        if (kind != cr && crlf_here) {
            lines.push_back({text, "\r\n"});
            text.clear();
            ++i;
        } else if ((kind == lf && c == '\n') || (kind == cr && c == '\r') || (c == '\r' && last)) {
            lines.push_back({text, std::string(1, c)});
            text.clear();
        } else {
            text += c;
        }
    }
    if (!text.empty()) lines.push_back({text, ""});
    return lines;
}

std::optional<std::size_t> column_index(const std::string& name,
                                        const std::vector<std::string>& header) {
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (upper(trim(header[k])) == upper(name)) return k;
    }
    return std::nullopt;
}

/// The value of column `name` in `row`, without surrounding spaces and
/// brought to `width` when it is not 0; "" unpadded for a name the header
/// lacks.
std::string G_GET_FIELD(const std::string& name, const std::vector<std::string>& header,
                        const std::vector<std::string>& row, int width) {
    const std::optional<std::size_t> column = column_index(name, header);
    if (!column) return "";
    std::string value = *column < row.size() ? trim(row[*column]) : "";
    if (width == 0) return value;
    value.resize(static_cast<std::size_t>(width), ' ');
    return value;
}

bool holds_line_break(const std::string& value) {
    return value.find('\r') != std::string::npos || value.find('\n') != std::string::npos;
}

/// The code points of `text` when it is UTF-8 in shortest forms, without
/// surrogates and up to U+10FFFF; none when it is not.
std::optional<std::u32string> strict_utf8(const std::string& text) {
    std::u32string code_points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int more = lead < 0x80           ? 0
                         : (lead >> 5) == 0x06 ? 1
                         : (lead >> 4) == 0x0E ? 2
                         : (lead >> 3) == 0x1E ? 3
                                               : -1;
        if (more < 0) return std::nullopt;
        char32_t c = more == 0 ? lead : lead & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if (i + static_cast<std::size_t>(k) >= text.size()) return std::nullopt;
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return std::nullopt;
        code_points += c;
        i += static_cast<std::size_t>(more) + 1;
    }
    return code_points;
}

/// `value` as the target holds it: UTF-8 beyond ASCII in Windows-1252, all
/// else as it stands. None when a character has no byte there.
std::optional<std::string> in_windows_1252(const std::string& value) {
    bool ascii = true;
    for (const char c : value) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    const std::optional<std::u32string> code_points = strict_utf8(value);
    if (ascii || !code_points) return value;
    // The characters of bytes 0x80 to 0x9F; the five the code page leaves
    // undefined stand for themselves.
    const char32_t high[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                               0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                               0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    std::string bytes;
    for (const char32_t c : *code_points) {
        int byte = c < 0x80 || (c >= 0xA0 && c < 0x100) ? static_cast<int>(c) : -1;
        for (int k = 0; k < 32 && byte < 0; ++k) {
            if (high[k] == c) byte = 0x80 + k;
        }
        if (byte < 0) return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

/// The value of `name` in `row` as the target holds it (see G_GET_FIELD),
/// or none when it cannot be written in Windows-1252.
std::optional<std::string> G_GET_WRITTEN(const std::string& name,
                                         const std::vector<std::string>& header,
                                         const std::vector<std::string>& row, int width) {
    std::optional<std::string> value = in_windows_1252(G_GET_FIELD(name, header, row, 0));
    if (value && width != 0 && column_index(name, header)) {
        value->resize(static_cast<std::size_t>(width), ' ');
    }
    return value;
}

/// `value` as a message shows it: its first 200 bytes, fewer where they
/// would end inside a UTF-8 character, and "...", when it is longer.
std::string shown(const std::string& value) {
    if (value.size() <= 200) return value;
    std::size_t keep = 200;
    if (strict_utf8(value)) {
        while (keep > 0 && (static_cast<unsigned char>(value[keep]) >> 6) == 2) --keep;
    }
    return value.substr(0, keep) + "...";
}

/// The messages about `row`'s values, MAKE and MODEL first, then each
/// field: a line break, a character Windows-1252 lacks, or excess length.
std::vector<std::string> G_CHECK_ROW(const std::vector<std::string>& header,
                                     const std::vector<std::string>& row) {
    const std::string make = G_GET_FIELD("MAKE", header, row, 0);
    const std::string model = G_GET_FIELD("MODEL", header, row, 0);
    std::vector<std::string> messages;
    auto check = [&](const std::string& name, int width) {
        const std::string value = G_GET_FIELD(name, header, row, 0);
        const std::string start =
            "Model: " + shown(make) + "  " + shown(model) + "\r\n\r\nField: " + name + "  Response";
        const std::optional<std::string> written = in_windows_1252(value);
        if (holds_line_break(value)) {
            messages.push_back(start + ": " + shown(value) + "  holds a line break.");
        } else if (!written) {
            messages.push_back(start + ": " + shown(value) +
                               "  cannot be written in code page 1252.");
        } else if (width != 0 && static_cast<int>(written->size()) > width) {
            messages.push_back(start + " Length:  " + std::to_string(written->size()) +
                               "   Response: " + shown(value) +
                               "  is longer than: " + std::to_string(width));
        }
    };
    check("MAKE", 0);
    check("MODEL", 0);
    for (const Column& column : kFields) check(column.name, column.width);
    return messages;
}

}  // namespace

Verdict convert(std::string_view file_content, std::string& output,
                std::vector<std::string>& messages) {
    std::string content(file_content);
    if (!content.empty() && content.back() == '\x1a') content.pop_back();
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
    const std::string first_line = content.substr(0, content.find_first_of("\r\n"));
    const char separator =
        first_line.find(',') == std::string::npos && first_line.find(';') != std::string::npos
            ? ';'
            : ',';
    std::size_t separators_in_a_row = 0;
    for (const char c : first_line) separators_in_a_row += c == separator;
    if (separators_in_a_row == 0) separators_in_a_row = 1;

    // Rows, one at a time: lines joined while a quoted field is open.
    const std::vector<Line> lines = lines_of(content);
    std::size_t next_line = 0;
    std::size_t number = 0;
    std::string text;
    auto next_row = [&]() -> std::optional<Result> {
        text = lines[next_line].text;
        ++number;
        while (ends_inside_quotes(text, separator)) {
            if (++next_line == lines.size()) return Result::unclosed_quote;
            // A line after the field's first that holds a row's separators,
            // up to the closing quote, or anything but a separator after
            // that quote: the quote took in rows.
            const Line& line = lines[next_line];
            const std::size_t closing = closing_quote(line.text);
            std::size_t separators = 0;
            for (std::size_t i = 0; i < line.text.size() && i < closing; ++i) {
                separators += line.text[i] == separator;
            }
            if ((!line.end.empty() || closing != std::string::npos) &&
                separators >= separators_in_a_row) {
                return Result::unclosed_quote;
            }
            if (closing != std::string::npos && closing + 1 < line.text.size() &&
                line.text[closing + 1] != separator) {
                return Result::unclosed_quote;
            }
            text += lines[next_line - 1].end + line.text;
        }
        ++next_line;
        return std::nullopt;
    };

    output.clear();
    if (lines.empty()) return {Result::no_rows};
    if (next_row()) return {Result::unclosed_quote, number};
    const std::vector<std::string> header = fields(text, separator);
    std::vector<std::string> missing;
    for (const char* name : {"MAKE", "MODEL"}) {
        if (!column_index(name, header)) missing.push_back(name);
    }
    for (const Column& column : kFields) {
        if (!column_index(column.name, header)) missing.push_back(column.name);
    }
    if (missing.size() == 2 + std::size(kFields)) {
        if (text.size() >= 10) return {Result::no_known_column};
    } else if (!missing.empty()) {
        return {Result::missing_columns, 0, missing};
    }
    std::size_t data_rows = 0;
    std::size_t short_row = text.size() < 10 ? 1 : 0;
    bool valid = true;
    while (next_line < lines.size()) {
        if (next_row()) {
            output.clear();
            return {Result::unclosed_quote, number};
        }
        const std::vector<std::string> row = fields(text, separator);
        bool blank = true;
        for (const std::string& value : row) blank = blank && trim(value).empty();
        if (blank) continue;
        if (text.size() < 10) {
            if (short_row == 0) short_row = number;
            continue;
        }
        if (short_row != 0) {
            output.clear();
            return {Result::rows_after_short_row, short_row};
        }
        ++data_rows;
        for (const std::string& message : G_CHECK_ROW(header, row)) {
            messages.push_back(message);
            valid = false;
        }
        output += "<R><MA>" + G_GET_WRITTEN("MAKE", header, row, 0).value_or("?") + "</MA><MO>" +
                  G_GET_WRITTEN("MODEL", header, row, 0).value_or("?") + "</MO><DA>";
        for (const Column& column : kFields) {
            output += G_GET_WRITTEN(column.name, header, row, column.width).value_or("?");
        }
        output += "</DA></R>\r\n";
    }
    if (data_rows == 0) {
        output.clear();
        return {Result::no_rows};
    }
    output += "\r\n";
    return {valid ? Result::converted : Result::values_rejected};
}

}  // namespace reference
