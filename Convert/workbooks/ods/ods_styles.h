// A workbook's cell styles and the data styles they show numbers by, read
// from its parts' office:styles and office:automatic-styles, each cell
// style resolved once, up its parents, to the data style it shows numbers by.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "workbooks/number_format.h"
#include "workbooks/ods/ods_part.h"

namespace convert::ods {

/// A number style as a cell shows numbers by it.
/// Its code is as close to the code the user set as its parts tell,
/// conditions left out.
struct DataStyle : CellFormat {
    std::vector<std::pair<std::string, std::string>> conditions;  // each condition and its style
};

/// The code that names a value type shown otherwise than by digits, for a
/// cell whose style does not say more; "" for the other types.
std::string_view usual_code(std::string_view type);

/// A cell's data style is null for General, else one of the styles held,
/// valid as long as they are.
class OdsStyles {
public:
    /// Reads the styles in office:styles or office:automatic-styles, just
    /// started in `part` (named `part_name` in errors), to its end; those of
    /// the same name read before stay unless `replace`.
    void read(Part& part, std::string_view part_name, bool replace);
    /// Gives each cell style read the data style it shows numbers by; the
    /// lookups below answer only after it.
    void resolve();

    /// The data style of cells of no style that names one.
    const DataStyle* default_style() const { return default_; }
    /// The data style of cells of the cell style `name`: the default's for
    /// a style not read.
    const DataStyle* of(std::string_view name) const {
        const auto found = formats_.find(name);
        return found == formats_.end() ? default_ : found->second;
    }
    /// The data style of a column's cells, by its default-cell-style-name.
    const DataStyle* of_column(std::optional<std::string_view> name) const {
        return name ? of(*name) : default_;
    }

    /// The code of a refused style, its conditions first as [>=0]code;
    std::string code_of(const DataStyle* style) const;

private:
    struct CellStyle {
        std::string parent;
        std::optional<std::string> data_style;
    };
    /// Heterogeneous lookup: a name read finds its style without a copy.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    template <class Value>
    using ByName = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

    /// The data style of that name; null for none.
    const DataStyle* data_style_named(const std::string& name) const;

    ByName<DataStyle> data_styles_;
    ByName<CellStyle> cell_styles_;
    std::optional<std::string> default_data_style_;
    ByName<const DataStyle*> formats_;  // each cell style's data style; null for General
    const DataStyle* default_ = nullptr;
};

}  // namespace convert::ods
