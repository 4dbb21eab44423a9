// Bytes from files and file names, made fit to show: UTF-8 when they are
// valid UTF-8, else Windows-1252, the code page such files usually come in.
#pragma once

#include <QString>
#include <string_view>

namespace convert {

/// `bytes` decoded as above, with each CR LF turned into one line break.
QString display_text(std::string_view bytes);

}  // namespace convert
