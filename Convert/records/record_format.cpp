#include "records/record_format.h"

#include <cstring>

namespace convert {

static_assert(TargetBuffer::kSpare >= sizeof(FieldBytes), "fields are stored 8 bytes at a time");

namespace {

// The record's fixed pieces, around make, model and data block.
constexpr char kRecordStart[] = "<R><MA>";
constexpr char kMakeToModel[] = "</MA><MO>";
constexpr char kModelToData[] = "</MO><DA>";
constexpr char kRecordEnd[] = "</DA></R>\r\n";
constexpr std::size_t kFixedSize =
    sizeof kRecordStart + sizeof kMakeToModel + sizeof kModelToData + sizeof kRecordEnd - 4;

template <std::size_t size>
char* put(char* at, const char (&text)[size]) {
    std::memcpy(at, text, size - 1);
    return at + size - 1;
}

/// Copies `text` 8 bytes at a time: a make or model is short, and a library
/// call for each would cost more than the copy. Up to 7 bytes are read past
/// its end (its padding) and written past it (the buffer's spare room).
char* put_value(char* at, PaddedView text) {
    if (text.size() > TargetBuffer::kSpare) {
        std::memcpy(at, text.data(), text.size());
        return at + text.size();
    }
    for (std::size_t i = 0; i < text.size(); i += 8) std::memcpy(at + i, text.data() + i, 8);
    return at + text.size();
}

}  // namespace

void append_record(TargetBuffer& out, PaddedView make, PaddedView model,
                   const DataBlockBytes& fields) {
    char* p = out.extend(kFixedSize + make.size() + model.size() + kDataBlockWidth);
    p = put_value(put(p, kRecordStart), make);
    p = put_value(put(p, kMakeToModel), model);
    p = put(p, kModelToData);
    // 8 bytes each, in the block's order: the bytes past a field's width are
    // overwritten by the next field, and the last's by the record's end.
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        std::memcpy(p + kFieldOffsets[i], &fields[i], sizeof(FieldBytes));
    }
    put(p + kDataBlockWidth, kRecordEnd);
}

}  // namespace convert
