#include "reference_conversion.h"

#include "field_procedures.h"
#include "record_format.h"

namespace testing_support {

bool reference_convert(std::string_view file_content, std::string& output,
                       std::vector<std::string>& messages) {
    using namespace convert;
    const std::string content = std::string(file_content) + "\r\nDone\r\n";
    std::size_t position = content.find('\r');
    std::string header = content.substr(0, position) + ",";
    std::string current = header;
    bool valid = true;
    output.clear();
    const MessageFn show = [&](const std::string& m) { messages.push_back(m); };
    for (;;) {
        const std::size_t start = position + 2;
        if (current.size() < 11) break;
        position = content.find('\r', start);
        current = content.substr(start, position - start) + ",";
        if (current.size() < 11) break;
        for (const DataField& field : kDataBlock) {
            std::string name(field.name);
            if (!G_CHECK_LEN(name, header, current, field.width, show)) valid = false;
        }
        std::string make = "MAKE";
        std::string model = "MODEL";
        output += "<R><MA>" + G_GET_FIELD(make, header, current, 0) + "</MA><MO>" +
                  G_GET_FIELD(model, header, current, 0) + "</MO><DA>";
        for (const DataField& field : kDataBlock) {
            std::string name(field.name);
            output += G_GET_FIELD(name, header, current, field.width);
        }
        output += "</DA></R>\r\n";
    }
    output += "\r\n";
    return valid;
}

}  // namespace testing_support
