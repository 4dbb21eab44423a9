#include "record_format.h"

#include "field_procedures.h"

namespace convert {

namespace {
constexpr std::string_view kOpen = "<R><MA>";
constexpr std::string_view kMakeToModel = "</MA><MO>";
constexpr std::string_view kModelToData = "</MO><DA>";
constexpr std::string_view kClose = "</DA></R>\r\n";
}  // namespace

std::size_t record_size(std::string_view make, std::string_view model,
                        const DataBlockValues& fields) {
    std::size_t size = kOpen.size() + make.size() + kMakeToModel.size() + model.size() +
                       kModelToData.size() + kClose.size();
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (fields[i]) size += static_cast<std::size_t>(kDataBlock[i].width);
    }
    return size;
}

void append_record(std::string& out, std::string_view make, std::string_view model,
                   const DataBlockValues& fields) {
    out.append(kOpen).append(make).append(kMakeToModel).append(model).append(kModelToData);
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (fields[i]) append_padded(out, *fields[i], kDataBlock[i].width);
    }
    out.append(kClose);
}

}  // namespace convert
