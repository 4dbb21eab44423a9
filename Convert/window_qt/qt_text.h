// Bytes from files and file names, made fit to show in Qt (display_text.h).
#pragma once

#include <QString>
#include <string_view>

namespace convert {

/// `bytes` decoded, with each CR LF turned into one line break.
QString qt_text(std::string_view bytes);

/// A message decoded and shortened as shown_message does, CR LF as above.
QString qt_message(std::string_view bytes);

}  // namespace convert
