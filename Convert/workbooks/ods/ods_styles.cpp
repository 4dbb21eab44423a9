#include "workbooks/ods/ods_styles.h"

#include <algorithm>
#include <cstdint>

#include "workbooks/sheet_row.h"

namespace convert::ods {

namespace {

// Bounds on the styles held, far past what spreadsheet programs write.
constexpr std::size_t kMaxStyles = 100'000;  // of each kind
constexpr std::size_t kMaxStyleName = 1024;  // bytes
constexpr std::size_t kMaxConditions = 64;   // of a data style, kept for its code
constexpr std::size_t kMaxStyleCode = SheetRow::kLongestRefusal + 4;  // as much as a message shows

/// A count attribute of the element just started, at most kMostDigits.
std::optional<std::size_t> digits_of(const Part& part, std::string_view ns, std::string_view name) {
    const auto value = part.attribute(ns, name);
    if (!value) return std::nullopt;
    return count_of(*value, "a digit count", kMostDigits + 1);
}

/// The code of a part that places digits: 0.00, #,##0, #.
std::string digits_code(std::size_t integers, bool grouping, std::optional<std::size_t> decimals,
                        std::size_t min_decimals) {
    std::string integer(std::min(integers, kMostDigits), '0');
    if (grouping && integer.size() < 4) integer.insert(0, 4 - integer.size(), '#');
    if (integer.empty()) integer = "#";
    std::string code;
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (grouping && i > 0 && (integer.size() - i) % 3 == 0) code += ',';
        code += integer[i];
    }
    const std::size_t places = std::min(std::max(decimals.value_or(0), min_decimals), kMostDigits);
    if (places > 0) {
        code.append(1, '.').append(std::min(min_decimals, places), '0');
        code.append(places - std::min(min_decimals, places), '#');
    }
    return code;
}

/// Reads a number:number part to its end, appending its code; the format
/// when Convert shows numbers by it.
std::optional<NumberFormat> number_part(Part& part, std::string& code) {
    const std::optional<std::size_t> decimals = digits_of(part, kNumber, "decimal-places");
    std::optional<std::size_t> min_decimals = digits_of(part, kNumber, "min-decimal-places");
    if (!min_decimals) min_decimals = digits_of(part, kLoExt, "min-decimal-places");
    const std::size_t integers = digits_of(part, kNumber, "min-integer-digits").value_or(0);
    const bool grouping = part.attribute(kNumber, "grouping") == "true";
    const auto factor = part.attribute(kNumber, "display-factor");
    auto blank = part.attribute(kNumber, "max-blank-integer-digits");
    if (!blank) blank = part.attribute(kLoExt, "max-blank-integer-digits");
    // Digits shown otherwise: a decimal replacement (1.--), scaled, blanks for zeros.
    bool plain = !part.attribute(kNumber, "decimal-replacement") && (!factor || *factor == "1") &&
                 (!blank || *blank == "0") && decimals.value_or(0) <= kMostDigits &&
                 min_decimals.value_or(0) <= kMostDigits && integers <= kMostDigits;
    // Text embedded among the digits (0-00).
    plain = !part.skip() && plain;
    if (!decimals) {
        // No decimal places set: as many as the number needs, General's.
        if (!grouping && integers <= 1) {
            code += "General";
            return plain ? std::optional<NumberFormat>(NumberFormat{}) : std::nullopt;
        }
        code += digits_code(integers, grouping, std::nullopt, 0);
        return std::nullopt;
    }
    code += digits_code(integers, grouping, decimals, min_decimals.value_or(*decimals));
    if (!plain) return std::nullopt;
    return NumberFormat{FixedDigits{static_cast<std::uint8_t>(integers),
                                    static_cast<std::uint8_t>(min_decimals.value_or(*decimals)),
                                    static_cast<std::uint8_t>(*decimals), grouping}};
}

/// A literal text in a code: quoted when it holds letters or digits.
void append_literal(std::string& code, std::string_view text) {
    const bool quoted = std::any_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '"';
    });
    if (quoted) code += '"';
    code += text;
    if (quoted) code += '"';
}

/// The code of a date, time, fraction, exponent or other part of a style.
std::string part_code(const Part& part, std::string_view name, bool elapsed_hours) {
    const bool is_long = part.attribute(kNumber, "style") == "long";
    const auto form = [&](const char* short_form, const char* long_form) {
        return std::string(is_long ? long_form : short_form);
    };
    const auto decimals = [&] {
        const std::size_t places = digits_of(part, kNumber, "decimal-places").value_or(0);
        return places == 0 ? std::string() : "." + std::string(std::min(places, kMostDigits), '0');
    };
    if (name == "day") return form("D", "DD");
    if (name == "month") {
        if (part.attribute(kNumber, "textual") == "true") return form("MMM", "MMMM");
        return form("M", "MM");
    }
    if (name == "year") return form("YY", "YYYY");
    if (name == "day-of-week") return form("DDD", "DDDD");
    if (name == "era") return form("G", "GGG");
    if (name == "quarter") return form("Q", "QQ");
    if (name == "week-of-year") return "WW";
    if (name == "hours") return elapsed_hours ? "[" + form("H", "HH") + "]" : form("H", "HH");
    if (name == "minutes") return form("M", "MM");
    if (name == "seconds") return form("S", "SS") + decimals();
    if (name == "am-pm") return "AM/PM";
    if (name == "boolean") return "BOOLEAN";
    if (name == "text-content") return "@";
    const std::size_t integers = digits_of(part, kNumber, "min-integer-digits").value_or(0);
    if (name == "scientific-number") {
        const std::size_t places = digits_of(part, kNumber, "decimal-places").value_or(0);
        const std::size_t exponent = digits_of(part, kNumber, "min-exponent-digits").value_or(1);
        return digits_code(std::max<std::size_t>(integers, 1),
                           part.attribute(kNumber, "grouping") == "true", places, places) +
               "E+" + std::string(std::clamp<std::size_t>(exponent, 1, kMostDigits), '0');
    }
    if (name == "fraction") {
        const auto places = [&](std::string_view attribute) {
            const std::size_t digits = digits_of(part, kNumber, attribute).value_or(1);
            return std::string(std::clamp<std::size_t>(digits, 1, kMostDigits), '?');
        };
        std::string code = part.attribute(kNumber, "min-integer-digits")
                               ? digits_code(integers, false, 0, 0) + " "
                               : "";
        code += places("min-numerator-digits") + "/";
        const auto denominator = part.attribute(kNumber, "denominator-value");
        return code + (denominator ? std::string(denominator->substr(0, 16))
                                   : places("min-denominator-digits"));
    }
    return {};
}

/// The colour a style shows its numbers in, by the name a code gives it.
std::string_view colour_name(std::string_view rgb) {
    static constexpr std::pair<std::string_view, std::string_view> kColours[] = {
        {"#000000", "BLACK"}, {"#0000ff", "BLUE"},    {"#00ff00", "GREEN"},  {"#00ffff", "CYAN"},
        {"#ff0000", "RED"},   {"#ff00ff", "MAGENTA"}, {"#ffff00", "YELLOW"}, {"#ffffff", "WHITE"},
    };
    std::string lower(rgb.substr(0, 7));
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'F' ? c | 0x20 : c);
    for (const auto& [code, name] : kColours) {
        if (code == lower) return name;
    }
    return {};
}

/// Reads a data style (number:number-style, number:date-style...) to its end.
DataStyle read_data_style(Part& part, std::string_view element) {
    DataStyle style;
    const bool elapsed_hours = part.attribute(kNumber, "truncate-on-overflow") == "false";
    std::optional<NumberFormat> number;
    std::size_t parts = 0;
    std::string_view colour;
    while (part.next_child()) {
        ++parts;
        const std::string_view ns = part.xml().ns();
        const std::string_view name = part.xml().name();
        if (ns == kStyle && name == "map") {
            std::string_view condition = part.attribute(kStyle, "condition").value_or("");
            if (condition.starts_with("value()")) condition.remove_prefix(7);
            if (style.conditions.size() < kMaxConditions) {
                style.conditions.emplace_back(condition.substr(0, 64),
                                              part.attribute(kStyle, "apply-style-name")
                                                  .value_or("")
                                                  .substr(0, kMaxStyleName));
            }
            part.skip();
        } else if (ns == kStyle && name == "text-properties") {
            colour = colour_name(part.attribute(kFo, "color").value_or(""));
            part.skip();
        } else if (ns != kNumber) {
            part.skip();
        } else if (name == "number") {
            number = number_part(part, style.code);
        } else if (name == "text") {
            append_literal(style.code, part.text());
        } else if (name == "currency-symbol") {
            style.code += part.text();
        } else if (name == "fill-character") {
            style.code += "*" + part.text();
        } else {
            style.code += part_code(part, name, elapsed_hours);
            part.skip();
        }
    }
    // Only a style of digits alone, no colour, text or condition, shows as Convert does.
    if (element == "number-style" && parts == 1) style.shown = number;
    // Only a message shows it, cut.
    if (style.code.size() > kMaxStyleCode) style.code.resize(kMaxStyleCode);
    if (!colour.empty()) style.code.insert(0, "[" + std::string(colour) + "]");
    return style;
}

}  // namespace

/// The code that names a value type shown otherwise than by digits, for a
/// cell whose style does not say more; "" for the other types.
std::string_view usual_code(std::string_view type) {
    if (type == "percentage") return "0%";
    if (type == "currency") return "#,##0.00";
    if (type == "date") return "YYYY-MM-DD";
    if (type == "time") return "HH:MM:SS";
    return {};
}

void OdsStyles::read(Part& part, std::string_view part_name, bool replace) {
    while (part.next_child()) {
        const std::string_view name = part.attribute(kStyle, "name").value_or("");
        const std::string_view parent = part.attribute(kStyle, "parent-style-name").value_or("");
        const bool cells = part.attribute(kStyle, "family") == "table-cell";
        std::optional<std::string> data_style;
        if (const auto data = part.attribute(kStyle, "data-style-name")) data_style = *data;
        if (std::max({name.size(), parent.size(), data_style.value_or("").size()}) >
            kMaxStyleName) {
            unreadable("The workbook's " + std::string(part_name) + " names a style in more than " +
                       std::to_string(kMaxStyleName) + " bytes.");
        }
        const auto bound = [&](std::size_t held, const char* what) {
            if (held < kMaxStyles) return;
            unreadable("The workbook's " + std::string(part_name) + " holds more than " +
                       std::to_string(kMaxStyles) + " " + what + ".");
        };
        if (part.at(kStyle, "style") && cells) {
            bound(cell_styles_.size(), "cell styles");
            CellStyle style{std::string(parent), std::move(data_style)};
            if (replace) {
                cell_styles_.insert_or_assign(std::string(name), std::move(style));
            } else {
                cell_styles_.try_emplace(std::string(name), std::move(style));
            }
            part.skip();
        } else if (part.at(kStyle, "default-style") && cells) {
            if (data_style) default_data_style_ = std::move(data_style);
            part.skip();
        } else if (part.xml().ns() == kNumber && part.xml().name().ends_with("-style")) {
            bound(data_styles_.size(), "number styles");
            const std::string key(name);
            const std::string element(part.xml().name());
            DataStyle style = read_data_style(part, element);
            if (replace) {
                data_styles_.insert_or_assign(key, std::move(style));
            } else {
                data_styles_.try_emplace(key, std::move(style));
            }
        } else {
            part.skip();
        }
    }
}

const DataStyle* OdsStyles::data_style_named(const std::string& name) const {
    const auto found = data_styles_.find(name);
    return found == data_styles_.end() ? nullptr : &found->second;
}

// Each style's parents walked once; a style among a loop of parents has the
// default's.
void OdsStyles::resolve() {
    static const DataStyle kResolving;
    const DataStyle* const fallback =
        default_data_style_ ? data_style_named(*default_data_style_) : nullptr;
    std::vector<const DataStyle**> chain;  // the styles walked, to be resolved
    formats_.reserve(cell_styles_.size());
    for (const auto& [name, ignored] : cell_styles_) {
        chain.clear();
        const DataStyle* found = fallback;
        for (std::string_view at = name;;) {
            if (const auto known = formats_.find(at); known != formats_.end()) {
                if (known->second != &kResolving) found = known->second;
                break;
            }
            const auto style = cell_styles_.find(at);
            if (style == cell_styles_.end()) break;
            chain.push_back(&formats_.emplace(style->first, &kResolving).first->second);
            if (style->second.data_style) {
                found = data_style_named(*style->second.data_style);
                break;
            }
            at = style->second.parent;
        }
        for (const DataStyle** resolved : chain) *resolved = found;
    }
    const auto named_default = formats_.find(std::string_view("Default"));
    default_ = named_default != formats_.end() ? named_default->second : fallback;
}

std::string OdsStyles::code_of(const DataStyle* style) const {
    if (style == nullptr) return "General";
    std::string code;
    for (const auto& [condition, applied] : style->conditions) {
        // No more than a message shows, however many conditions.
        if (code.size() > kMaxStyleCode) return code;
        const auto found = data_styles_.find(applied);
        code += "[" + condition + "]" +
                (found == data_styles_.end() ? applied : found->second.code) + ";";
    }
    return code + style->code;
}

}  // namespace convert::ods
