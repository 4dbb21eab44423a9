// The words of every message a run gives, for every front end. A message
// is its lines, which each front end breaks its own way (CR LF in a Windows
// box, LF elsewhere); an empty line stands between paragraphs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/run_report.h"
#include "run/convert_file.h"

namespace convert {

using MessageLines = std::vector<std::string>;

/// A value the target cannot take:
///   "Model: " make "  " model
///   ""
///   "Field: " field "  Response Length: " " " length "   Response: " value
///   "  is longer than: " width
/// or, for a line break or a character the code page lacks,
///   "Field: " field "  Response: " value "  holds a line break."
///   "Field: " field "  Response: " value "  cannot be written in code page " number "."
/// Make, model and value are each cut after kLongestShownValue bytes (less a
/// UTF-8 character the cut would split) and followed by "...".
MessageLines value_message(const ValueProblem& problem);
inline constexpr std::size_t kLongestShownValue = 200;

/// How a run ends for the user, the source named `source_name` as the
/// front end shows it: "Done.", "Data not converted.", and the rest; none
/// for a check that passed or a stopped run.
MessageLines closing_message(const RunResult& result, std::string_view source_name);
/// The system's reason a front end shows after the closing message, on a
/// paragraph of its own; empty when there is none or the message holds it.
std::string_view reason_after(const RunResult& result);

/// The refusal of a name that does not begin with "SPE".
std::string invalid_name_message(std::string_view name);
/// The refusal of an entry converted already.
std::string already_converted_message(std::string_view name);

/// `lines` joined by `line_break`.
std::string joined(const MessageLines& lines, std::string_view line_break);

}  // namespace convert
