#include "workbooks/ods/ods_package.h"

#include <cstddef>
#include <string_view>

#include "workbooks/ods/ods_part.h"
#include "workbooks/workbook_rows.h"

namespace convert::ods {

namespace {

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

/// Refuses a package whose mimetype, if it has one, is not a spreadsheet's.
void check_type(const ZipArchive& zip, std::string& part) {
    const ZipEntry* entry = zip.find("mimetype");
    if (entry == nullptr) return;
    part = "mimetype";
    const auto input = zip.open(*entry);
    std::string type(100, '\0');  // enough to tell, and to show
    std::size_t size = 0;
    for (std::size_t read = 1; read != 0 && size < type.size(); size += read) {
        read = input->read(type.data() + size, type.size() - size);
    }
    type.resize(size);
    if (type != kSpreadsheetType) {
        unreadable("The file is not an OpenDocument spreadsheet: its type is \"" + type + "\".");
    }
}

/// Whether the manifest gives the content, or the whole package, a password.
bool encrypted(const ZipArchive& zip, std::string& part) {
    const ZipEntry* entry = zip.find("META-INF/manifest.xml");
    if (entry == nullptr) return false;
    part = "META-INF/manifest.xml";
    Part manifest(zip, *entry);
    if (!manifest.root(kManifest, "manifest")) return false;
    while (manifest.next_child()) {
        const std::string_view path = manifest.attribute(kManifest, "full-path").value_or("");
        const bool content = path == "content.xml" || path == "encrypted-package";
        while (manifest.next_child()) {
            if (content && manifest.at(kManifest, "encryption-data")) return true;
            manifest.skip();
        }
    }
    manifest.finish();
    return false;
}

}  // namespace

const ZipEntry& open_package(const ZipArchive& zip, std::string& part, OdsStyles& styles) {
    check_type(zip, part);
    if (encrypted(zip, part)) {
        throw WorkbookError(WorkbookError::Kind::encrypted,
                            "The workbook is protected by a password.");
    }
    const ZipEntry* content = zip.find("content.xml");
    if (content == nullptr) {
        unreadable("The file holds no content.xml: it is not an OpenDocument spreadsheet.");
    }
    if (const ZipEntry* entry = zip.find("styles.xml")) {
        part = "styles.xml";
        Part styles_xml(zip, *entry);
        if (!styles_xml.root(kOffice, "document-styles"))
            unreadable("The workbook's styles.xml holds no styles.");
        while (styles_xml.next_child()) {
            if (styles_xml.at(kOffice, "styles") || styles_xml.at(kOffice, "automatic-styles")) {
                styles.read(styles_xml, part, styles_xml.at(kOffice, "styles"));
            } else {
                styles_xml.skip();
            }
        }
        styles_xml.finish();
    }
    return *content;
}

}  // namespace convert::ods
