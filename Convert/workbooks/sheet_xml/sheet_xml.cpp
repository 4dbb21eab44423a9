#include "workbooks/sheet_xml/sheet_xml.h"

#include <atomic>
#include <utility>

namespace convert {

namespace {

/// The bytes first looked at for a usual row, and the most: a longer row is
/// left to the parser.
constexpr std::size_t kFirstLook = 4 << 10;
constexpr std::size_t kLongestUsualRow = 1 << 20;

std::atomic<std::uint64_t> usual_rows{0}, parsed_rows{0};

}  // namespace

SheetXml::SheetXml(SheetBytes& bytes, std::unique_ptr<XmlParser> parser, UsualRow usual,
                   SheetReading reading)
    : bytes_(bytes),
      parser_(std::move(parser)),
      usual_(std::move(usual)),
      usual_first_(reading == SheetReading::usual_rows_first),
      clean_(!parser_->holds_input()) {
    usual_.learn(parser_->bindings());
}

bool SheetXml::run(XmlHandler& handler, bool between_rows) {
    if (between_rows && clean_ && usual_first_) {
        for (std::size_t look = kFirstLook;; look *= 4) {
            const std::string_view ahead = bytes_.ahead(look);
            const UsualRow::Read read = usual_.read(ahead);
            if (read == UsualRow::Read::usual) {
                bytes_.skip(usual_.size());
                parser_->add_lines(usual_.lines());
                usual_rows.fetch_add(1, std::memory_order_relaxed);
                usual_.hand_on(handler);
                return true;
            }
            if (read == UsualRow::Read::unusual || ahead.size() < look ||
                look >= kLongestUsualRow) {
                break;
            }
        }
    }
    parsing_ = true;
    const bool more = parser_->run();
    parsing_ = false;
    clean_ = more && !parser_->holds_input();
    if (clean_) usual_.learn(parser_->bindings());
    return more;
}

void SheetXml::pause() {
    if (!parsing_) return;
    parsed_rows.fetch_add(1, std::memory_order_relaxed);
    parser_->pause();
}

void SheetXml::finish() {
    parsing_ = true;
    while (parser_->run()) {
    }
    parsing_ = false;
}

RowsRead rows_read() {
    return {usual_rows.load(std::memory_order_relaxed),
            parsed_rows.load(std::memory_order_relaxed)};
}

}  // namespace convert
