#include "workbooks/xlsx/xlsx_package.h"

#include <algorithm>
#include <charconv>

#include "containers/xml/xml_reader.h"
#include "workbooks/xlsx/xlsx_markup.h"

namespace convert::xlsx {

namespace {

// Bounds on what is held, far past what spreadsheet programs write.
constexpr std::size_t kMaxRelationships = 100'000;
constexpr std::size_t kMaxRelationshipText = 8192;  // an id, type or target

/// The part `target` names: from the root when it begins with '/', else
/// from `folder`; its %XX escapes decoded, its . and .. segments followed.
std::string part_named(std::string_view folder, std::string_view target) {
    std::string path = target.starts_with('/') ? "" : std::string(folder);
    for (std::size_t i = 0; i < target.size(); ++i) {
        unsigned byte = 0;
        if (target[i] == '%' && i + 2 < target.size() &&
            std::from_chars(target.data() + i + 1, target.data() + i + 3, byte, 16).ptr ==
                target.data() + i + 3) {
            path += static_cast<char>(byte);
            i += 2;
        } else {
            path += target[i];
        }
    }
    std::vector<std::string_view> segments;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view segment(path.data() + at, slash - at);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    std::string resolved;
    for (const std::string_view segment : segments) {
        resolved.append(resolved.empty() ? "" : "/").append(segment);
    }
    return resolved;
}

}  // namespace

const ZipEntry* Package::find(const std::string& path) const {
    // Part names are the same in any case.
    return archive_.find_ignoring_case(path);
}

std::unique_ptr<ByteSource> Package::open(const std::string& path, bool needed) {
    const ZipEntry* entry = find(path);
    if (entry == nullptr) {
        if (!needed) return nullptr;
        unreadable("The workbook's part " + path + " is missing.");
    }
    part_ = path;
    return archive_.open(*entry);
}

Relationships Package::relationships(const std::string& part) {
    const std::size_t name = part.rfind('/') + 1;
    const std::string folder = part.substr(0, name);
    Relationships found;
    const std::string path = folder + "_rels/" + part.substr(name) + ".rels";
    const auto stream = open(path, false);
    if (stream == nullptr) return found;
    const auto xml = read_xml(*stream);
    for (Node node; (node = xml->next()) != Node::done;) {
        if (node != Node::start || xml->name() != "Relationship" || xml->ns() != kRelationships ||
            attribute(*xml, "TargetMode") == "External") {
            continue;
        }
        const std::string_view id = attribute(*xml, "Id"), type = attribute(*xml, "Type"),
                               target = attribute(*xml, "Target");
        if (found.list.size() == kMaxRelationships) {
            unreadable("The workbook's part " + path + " holds more than " +
                       std::to_string(kMaxRelationships) + " relationships.");
        }
        if (std::max({id.size(), type.size(), target.size()}) > kMaxRelationshipText) {
            unreadable("The workbook's part " + path + " holds a relationship longer than " +
                       std::to_string(kMaxRelationshipText) + " bytes.");
        }
        found.list.push_back({std::string(id), std::string(type), part_named(folder, target)});
    }
    found.by_id.reserve(found.list.size());
    for (std::size_t i = 0; i < found.list.size(); ++i) found.by_id.emplace(found.list[i].id, i);
    return found;
}

}  // namespace convert::xlsx
