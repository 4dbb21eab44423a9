#include "workbooks/sheet_xml/sheet_xml.h"

#include <utility>

namespace convert {

namespace {

/// The bytes first looked at for a usual row, and the most: a longer row is
/// left to the parser.
constexpr std::size_t kFirstLook = 4 << 10;
constexpr std::size_t kLongestUsualRow = 1 << 20;

}  // namespace

SheetXml::SheetXml(SheetBytes& bytes, std::unique_ptr<XmlParser> parser, UsualRow usual)
    : bytes_(bytes), parser_(std::move(parser)), usual_(std::move(usual)) {
    bytes_.by_rows();
}

bool SheetXml::run(XmlHandler& handler, bool between_rows) {
    if (between_rows && clean_) {
        for (std::size_t look = kFirstLook;; look *= 4) {
            const std::string_view ahead = bytes_.ahead(look);
            const UsualRow::Read read = usual_.read(ahead, parser_->bindings());
            if (read == UsualRow::Read::usual) {
                bytes_.skip(usual_.size());
                parser_->add_lines(usual_.lines());
                ++usual_rows_;
                usual_.hand_on(handler);
                return true;
            }
            if (read == UsualRow::Read::unusual || ahead.size() < look ||
                look >= kLongestUsualRow) {
                break;
            }
        }
    }
    parsed_rows_ += between_rows;
    parsing_ = true;
    const bool more = parser_->run();
    parsing_ = false;
    clean_ = more && !parser_->holds_input();
    return more;
}

void SheetXml::pause() {
    if (parsing_) parser_->pause();
}

void SheetXml::finish() {
    parsing_ = true;
    while (parser_->run()) {
    }
    parsing_ = false;
}

}  // namespace convert
