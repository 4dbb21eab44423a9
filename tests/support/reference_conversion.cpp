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

/// The fields of `line`, which ends in its separator, with quotes taken
/// off: only text that a separator closes is a field.
std::vector<std::string> fields(const std::string& line, char separator) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < line.size()) {
        std::string value;
        std::size_t end = std::string::npos;
        if (line[start] == '"') {
            // Look for the closing quote: a quote not followed by another.
            std::size_t at = start + 1;
            std::string inside;
            for (; at < line.size(); ++at) {
                if (line[at] != '"') {
                    inside += line[at];
                } else if (at + 1 < line.size() && line[at + 1] == '"') {
                    inside += '"';
                    ++at;
                } else {
                    break;
                }
            }
            if (at < line.size()) {
                end = line.find(separator, at + 1);
                if (end == std::string::npos) break;
                value = inside + line.substr(at + 1, end - at - 1);
            }
        }
        if (end == std::string::npos) {
            end = line.find(separator, start);
            if (end == std::string::npos) break;
            value = line.substr(start, end - start);
        }
        result.push_back(value);
        start = end + 1;
    }
    return result;
}

std::optional<std::size_t> column_index(const std::string& name, const std::string& header,
                                        char separator) {
    const std::vector<std::string> names = fields(header, separator);
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (upper(names[k]) == upper(name)) return k;
    }
    return std::nullopt;
}

/// The over-length message when the column's value is longer than
/// `width`, else none.
std::optional<std::string> G_CHECK_LEN(const std::string& name, const std::string& header,
                                       const std::string& line, int width, char separator) {
    const std::string value = G_GET_FIELD(name, header, line, 0, separator);
    if (static_cast<int>(value.size()) <= width) return std::nullopt;
    const std::string make = G_GET_FIELD("MAKE", header, line, 0, separator);
    const std::string model = G_GET_FIELD("MODEL", header, line, 0, separator);
    return "Model: " + trim(make) + "  " + model + "\r\n\r\n" + "Field: " + upper(name) +
           "  Response Length: " + " " + std::to_string(value.size()) + "   Response: " + value +
           "  is longer than: " + std::to_string(width);
}

}  // namespace

std::string G_PADR(const std::string& text, int width) {
    const int d = width - static_cast<int>(text.size());
    if (d > 0) return text + std::string(static_cast<std::size_t>(d), ' ');
    return text.substr(0, static_cast<std::size_t>(width));
}

std::string G_GET_FIELD(const std::string& name, const std::string& header, const std::string& line,
                        int width, char separator) {
    const std::optional<std::size_t> column = column_index(name, header, separator);
    if (!column) return "";
    const std::vector<std::string> values = fields(line, separator);
    const std::string value = *column < values.size() ? trim(values[*column]) : "";
    return width != 0 ? G_PADR(value, width) : value;
}

Result convert(std::string_view file_content, std::string& output,
               std::vector<std::string>& messages) {
    std::string content(file_content);
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
    content += "\r\nDone\r\n";
    std::size_t position = content.find('\r');
    std::string header = content.substr(0, position);
    const char separator =
        header.find(',') == std::string::npos && header.find(';') != std::string::npos ? ';' : ',';
    header += separator;
    std::string current = header;
    output.clear();
    if (header.size() >= 11) {
        bool known =
            column_index("MAKE", header, separator) || column_index("MODEL", header, separator);
        for (const Column& column : kFields) {
            known = known || column_index(column.name, header, separator);
        }
        if (!known) return Result::no_known_column;
    }
    bool valid = true;
    for (;;) {
        const std::size_t start = position + 2;
        if (current.size() < 11) break;
        position = content.find('\r', start);
        current = content.substr(start, position - start) + separator;
        if (current.size() < 11) break;
        for (const Column& column : kFields) {
            if (auto message = G_CHECK_LEN(column.name, header, current, column.width, separator)) {
                messages.push_back(*message);
                valid = false;
            }
        }
        output += "<R><MA>" + G_GET_FIELD("MAKE", header, current, 0, separator) + "</MA><MO>" +
                  G_GET_FIELD("MODEL", header, current, 0, separator) + "</MO><DA>";
        for (const Column& column : kFields) {
            output += G_GET_FIELD(column.name, header, current, column.width, separator);
        }
        output += "</DA></R>\r\n";
    }
    output += "\r\n";
    return valid ? Result::converted : Result::values_too_long;
}

}  // namespace reference
