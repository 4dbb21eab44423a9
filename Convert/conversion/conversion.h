// The conversion of a source's lines into target records: the header line
// names the columns, each further line long enough is a data line, and every
// value of the data block is checked against its width before its record is
// written.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "byte_scan.h"
#include "source_lines.h"
#include "target_buffer.h"

namespace convert {

enum class LinesResult {
    converted,        // every value fits; the whole target went to the output
    values_too_long,  // at least one over-length message was passed on
    no_known_column,  // a header line long enough for data names no column read
};

using MessageFn = std::function<void(const std::string&)>;

/// Converts the lines of a source file into its target, passing the
/// over-length message of every value that does not fit to `show_message` in
/// line and column order. The target's bytes go to `output` as they are
/// built; unless every value fits, `output` is abandoned at once. The lines
/// are taken as if the end sentinel CR LF "Done" CR LF followed the source.
/// `scanner` divides the lines (tests choose each in turn).
LinesResult convert_lines(SourceLines& lines, TargetBuffer& output, const MessageFn& show_message,
                          ChunkScanner scanner = fastest_chunk_scanner());

/// convert_lines on a content in memory, read `block_size` bytes at a time;
/// `output` is left empty unless every value fits.
LinesResult convert_content(std::string_view content, std::string& output,
                            const MessageFn& show_message, std::size_t block_size = kBlockSize,
                            ChunkScanner scanner = fastest_chunk_scanner());

/// The message that reports a value longer than its permitted width:
///   "Model: " make "  " model CR LF CR LF "Field: " field
///   "  Response Length: " " " length "   Response: " value
///   "  is longer than: " width
std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, int width);

}  // namespace convert
