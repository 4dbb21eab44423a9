// How the front ends show bytes from files and file names: as UTF-8 when
// they are valid UTF-8, else as Windows-1252, the code page such files
// usually come in. Plain UTF-16, for any toolkit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

/// The application's name, the caption of every message box.
inline constexpr char kApplicationTitle[] = "Convert";

/// A message box shows at most this many characters, then "…": a value of
/// megabytes would otherwise freeze the window while the box lays it out.
inline constexpr std::size_t kLongestShownMessage = 1000;

/// `bytes` decoded as above; line breaks stay as they are.
std::u16string decoded_text(std::string_view bytes);

/// decoded_text of a message, cut after kLongestShownMessage characters.
std::u16string shown_message(std::string_view bytes);

/// How many columns of a terminal `bytes`, one line decoded, take: two for
/// the wide characters of East Asian scripts and emoji, none for combining
/// marks, one for every other character.
std::size_t screen_columns(std::string_view bytes);

}  // namespace convert
