#include "window_qt/qt_text.h"

#include "window_shared/display_text.h"

namespace convert {

namespace {
QString with_line_breaks(const std::u16string& text) {
    return QString::fromStdU16String(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
}  // namespace

QString qt_text(std::string_view bytes) {
    return with_line_breaks(decoded_text(bytes));
}

QString qt_message(std::string_view bytes) {
    return with_line_breaks(shown_message(bytes));
}

}  // namespace convert
