#include "zip_writer.h"

#include <zlib.h>

#include <stdexcept>

namespace testing_support {

namespace {

/// Appends the `bytes` (at most 8) low bytes of `value`, little-endian.
void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i & 0xFF);
}

/// `data` deflated, raw: zlib's format without its 2-byte header and 4-byte checksum.
std::string deflated(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  9) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    return out.substr(2, size - 6);
}

}  // namespace

std::string make_zip(const std::vector<ZipItem>& items, bool zip64_end, std::string_view comment) {
    constexpr std::uint64_t kMarker = 0xFFFFFFFF;
    std::string zip, directory;
    for (const ZipItem& item : items) {
        const std::string data = item.deflate ? deflated(item.content) : item.content;
        const std::uint64_t crc = crc32(0, reinterpret_cast<const Bytef*>(item.content.data()),
                                        static_cast<uInt>(item.content.size()));
        const std::uint64_t offset = zip.size();
        // The headers' common part, from the flags to the extra field's length.
        const auto header = [&](std::string& out, bool local) {
            const bool later = local && item.descriptor;
            put(out, item.flags | (item.descriptor ? 8 : 0), 2);
            put(out, item.method != 0 ? item.method : item.deflate ? 8 : 0, 2);
            put(out, 0, 4);  // time and date
            put(out, later ? 0 : crc, 4);
            put(out, later ? 0 : item.zip64 ? kMarker : data.size(), 4);
            put(out, later ? 0 : item.zip64 ? kMarker : item.content.size(), 4);
            put(out, item.name.size() | (item.zip64 ? (local ? 20 : 28) : 0) << 16, 4);
        };
        // The name, and the Zip64 extra field.
        const auto name = [&](std::string& out, bool local) {
            out += item.name;
            if (!item.zip64) return;
            put(out, 1 | (local ? 16 : 24) << 16, 4);
            put(out, item.content.size(), 8);
            put(out, data.size(), 8);
            if (!local) put(out, offset, 8);
        };
        put(zip, 0x04034b50 | std::uint64_t{45} << 32, 6);  // and the version needed
        header(zip, true);
        name(zip, true);
        zip += data;
        if (item.descriptor) {
            put(zip, 0x08074b50 | crc << 32, 8);
            for (const std::uint64_t size : {data.size(), item.content.size()}) {
                put(zip, size, item.zip64 ? 8 : 4);
            }
        }
        put(directory, 0x02014b50 | std::uint64_t{45 | 45 << 16} << 32, 8);  // and versions
        header(directory, false);
        directory.append(10, '\0');  // comment length, disk, attributes
        put(directory, item.zip64 ? kMarker : offset, 4);
        name(directory, false);
    }
    const std::uint64_t directory_offset = zip.size();
    zip += directory;
    if (zip64_end) {
        const std::uint64_t record_offset = zip.size();
        put(zip, 0x06064b50, 4);
        put(zip, 44, 8);  // the record's size after this field
        put(zip, 45 | 45 << 16, 4);
        put(zip, 0, 8);  // disks
        for (const std::uint64_t value :
             {items.size(), items.size(), directory.size(), directory_offset}) {
            put(zip, value, 8);
        }
        put(zip, 0x07064b50, 8);  // the locator, on disk 0
        put(zip, record_offset, 8);
        put(zip, 1, 4);
    }
    put(zip, 0x06054b50, 8);  // on disk 0
    put(zip, zip64_end ? kMarker : items.size() | items.size() << 16, 4);
    put(zip, zip64_end ? kMarker : directory.size(), 4);
    put(zip, zip64_end ? kMarker : directory_offset, 4);
    put(zip, comment.size(), 2);
    return zip + std::string(comment);
}

std::string xlsx_around(std::string sheet, bool deflate) {
    const std::string main = "http://schemas.openxmlformats.org/";
    const std::string types = "application/vnd.openxmlformats-";
    const auto relationship = [&](std::string_view type, std::string_view target) {
        return "<Relationships xmlns=\"" + main +
               "package/2006/relationships\"><Relationship Id=\"r\" Type=\"" + main +
               "officeDocument/2006/relationships/" + std::string(type) + "\" Target=\"" +
               std::string(target) + "\"/></Relationships>";
    };
    return make_zip({
        {"[Content_Types].xml",
         "<Types xmlns=\"" + main + "package/2006/content-types\"><Default Extension=\"rels\" " +
             "ContentType=\"" + types + "package.relationships+xml\"/><Default " +
             "Extension=\"xml\" ContentType=\"application/xml\"/><Override " +
             "PartName=\"/xl/workbook.xml\" ContentType=\"" + types +
             "officedocument.spreadsheetml.sheet.main+xml\"/><Override " +
             "PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + types +
             "officedocument.spreadsheetml.worksheet+xml\"/></Types>",
         deflate},
        {"_rels/.rels", relationship("officeDocument", "xl/workbook.xml"), deflate},
        {"xl/workbook.xml",
         "<workbook xmlns=\"" + main + "spreadsheetml/2006/main\" xmlns:r=\"" + main +
             "officeDocument/2006/relationships\"><sheets><sheet name=\"S\" sheetId=\"1\" " +
             "r:id=\"r\"/></sheets></workbook>",
         deflate},
        {"xl/_rels/workbook.xml.rels", relationship("worksheet", "worksheets/sheet1.xml"), deflate},
        {"xl/worksheets/sheet1.xml", std::move(sheet), deflate},
    });
}

std::string ods_around(std::string content, bool deflate) {
    return make_zip({
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"META-INF/manifest.xml",
         "<manifest:manifest "
         "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><manifest:"
         "file-entry manifest:full-path=\"/\" "
         "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/><manifest:"
         "file-entry manifest:full-path=\"content.xml\" "
         "manifest:media-type=\"text/xml\"/></manifest:manifest>",
         deflate},
        {"content.xml", std::move(content), deflate},
    });
}

}  // namespace testing_support
