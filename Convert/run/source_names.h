// How source and target files are named: a source is "SPE", a year and
// ".csv", ".xlsx" or ".ods"; its target is "SP", the same year and ".TXT".
// Letter case is ignored throughout, as the file systems of the files'
// owners ignore it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace convert {

/// What a source is read as, by the end of its name.
enum class SourceKind { csv, xlsx, ods };

/// The kind of `name` by its ending, or none for a name a source never has.
std::optional<SourceKind> source_kind_of(std::string_view name);

/// Whether `name` ends in ".csv", ".xlsx" or ".ods": a file the year list shows.
bool is_listed_name(std::string_view name);

/// Whether `name` begins with "SPE": a file a run converts.
bool is_source_name(std::string_view name);

/// Whether `name` is "SPE", four characters and a source's ending: a file
/// convert-batch converts unasked.
bool is_yearly_source_name(std::string_view name);

/// "SP" + characters 4 to 7 of the source name, upper-cased, + ".TXT".
std::string target_name_of(std::string_view source_name);

}  // namespace convert
