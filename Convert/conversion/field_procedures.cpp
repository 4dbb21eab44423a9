#include "field_procedures.h"

#include <stdexcept>

#include "text.h"

namespace convert {

std::size_t column_index(std::string_view header, std::string_view name) {
    std::size_t start = 0;
    for (std::size_t count = 0;; ++count) {
        const std::size_t comma = header.find(',', start);
        if (comma == std::string_view::npos) return kNoColumn;
        if (header.substr(start, comma - start) == name) return count;
        start = comma + 1;
    }
}

std::optional<std::string_view> field_value(std::string_view line, std::size_t column) {
    std::size_t start = 0;
    for (std::size_t i = 0;; ++i) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) return std::nullopt;
        if (i == column) return trim_spaces(line.substr(start, comma - start));
        start = comma + 1;
    }
}

std::string G_PADR(std::string_view in_text, int in_len) {
    if (in_len < 0) throw std::invalid_argument("negative field width");
    std::string result(static_cast<std::size_t>(in_len), ' ');
    put_padded(result.data(), in_text, result.size());
    return result;
}

std::string G_GET_FIELD(std::string& in_field, std::string& in_header, const std::string& in_line,
                        int in_len) {
    upper_in_place(in_field);
    upper_in_place(in_header);
    const std::size_t column = column_index(in_header, in_field);
    if (column == kNoColumn) return {};
    const std::string_view value = field_value(in_line, column).value_or(std::string_view{});
    return in_len != 0 ? G_PADR(value, in_len) : std::string(value);
}

std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, int width) {
    std::string message;
    message.append("Model: ").append(trim_spaces(make)).append("  ").append(model);
    message.append("\r\n\r\n");
    message.append("Field: ").append(field).append("  Response Length: ");
    // A non-negative number is written with a space in its sign place.
    message.append(" ").append(std::to_string(value.size()));
    message.append("   Response: ").append(value);
    message.append("  is longer than: ").append(std::to_string(width));
    return message;
}

bool G_CHECK_LEN(std::string& in_field, std::string& in_header, const std::string& in_line,
                 int in_len, const MessageFn& show_message) {
    const std::string value = G_GET_FIELD(in_field, in_header, in_line, 0);
    if (static_cast<long long>(value.size()) <= in_len) return true;
    std::string make_name = "MAKE";
    std::string model_name = "MODEL";
    const std::string make = G_GET_FIELD(make_name, in_header, in_line, 0);
    const std::string model = G_GET_FIELD(model_name, in_header, in_line, 0);
    show_message(over_length_message(make, model, in_field, value, in_len));
    return false;
}

}  // namespace convert
