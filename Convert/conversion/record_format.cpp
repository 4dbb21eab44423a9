#include "record_format.h"

#include <cstring>

namespace convert {

namespace {

// The record's fixed pieces, around make, model and data block.
constexpr std::string_view kRecordStart = "<R><MA>";
constexpr std::string_view kMakeToModel = "</MA><MO>";
constexpr std::string_view kModelToData = "</MO><DA>";
constexpr std::string_view kRecordEnd = "</DA></R>\r\n";

char* put(char* at, std::string_view text) {
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

/// Writes `text` filled with spaces on the right, or cut, to exactly `width`
/// bytes at `at`; returns the end. Data-block fields are at most five bytes
/// wide, so a plain loop beats a library call.
char* put_padded(char* at, std::string_view text, std::size_t width) {
    const std::size_t kept = text.size() < width ? text.size() : width;
    for (std::size_t i = 0; i < kept; ++i) *at++ = text[i];
    for (std::size_t i = kept; i < width; ++i) *at++ = ' ';
    return at;
}

}  // namespace

void append_record(TargetBuffer& out, std::string_view make, std::string_view model,
                   DataBlockValues fields, const DataBlockColumns& present) {
    std::size_t size = kRecordStart.size() + make.size() + kMakeToModel.size() + model.size() +
                       kModelToData.size() + kRecordEnd.size();
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (present[i]) size += static_cast<std::size_t>(kDataBlock[i].width);
    }
    char* p = out.extend(size);
    p = put(put(put(put(put(p, kRecordStart), make), kMakeToModel), model), kModelToData);
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (present[i]) {
            p = put_padded(p, fields[i], static_cast<std::size_t>(kDataBlock[i].width));
        }
    }
    put(p, kRecordEnd);
}

}  // namespace convert
