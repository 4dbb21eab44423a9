// How source and target files are named: a source is "SPE", a year and
// ".csv"; its target is "SP", the same year and ".TXT". Letter case is
// ignored throughout, as the file systems of the files' owners ignore it.
#pragma once

#include <string>
#include <string_view>

namespace convert {

/// Whether `name` ends in ".csv": a file the year list shows.
bool is_csv_name(std::string_view name);

/// Whether `name` begins with "SPE": a file a run converts.
bool is_source_name(std::string_view name);

/// Whether `name` is "SPE", four characters and ".csv": a file convert-batch
/// converts unasked.
bool is_yearly_source_name(std::string_view name);

/// "SP" + characters 4 to 7 of the source name, upper-cased, + ".TXT".
std::string target_name_of(std::string_view source_name);

}  // namespace convert
