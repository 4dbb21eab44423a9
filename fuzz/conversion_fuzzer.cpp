// libFuzzer target: arbitrary bytes as a source file's content. Checks that
// the conversion gives exactly what the line-by-line reference gives, that a
// target is produced only when every value fits, and the target's shape.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "content_conversion.h"
#include "records/row_rules.h"
#include "reference_conversion.h"
#include "run/messages.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    // Small blocks, of a size the input picks, so that block boundaries fall
    // everywhere: in lines, between a CR and its LF, inside the header.
    const std::size_t block_size = size == 0 ? 1 : 1 + data[0] % 64;
    // Each way of scanning lines, of those this processor has.
    const auto path = static_cast<convert::ScanPath>(size < 2 ? 0 : data[1] % 3);
    convert::ChunkScanner scanner = convert::chunk_scanner(path);
    if (scanner == nullptr) scanner = convert::chunk_scanner(convert::ScanPath::portable);
    std::string output;
    struct Messages : convert::RunReport {
        std::vector<std::string> all;
        void problem(const convert::ValueProblem& problem) override {
            all.push_back(convert::joined(convert::value_message(problem), "\r\n"));
        }
    } report;
    const convert::RowsResult outcome = testing_support::convert_content(
        content, output, report, convert::windows_1252_code_page(), block_size, scanner);
    const std::vector<std::string>& messages = report.all;
    const bool fits = outcome.end == convert::RowsEnd::converted;

    require(!fits || messages.empty(), "a target only when no value is rejected");
    require(outcome.end != convert::RowsEnd::values_rejected || !messages.empty(),
            "values rejected only with a message");
    for (const std::string& message : messages) {
        require(starts_with(message, "Model: "), "over-length message begins with Model:");
        require(message.find("\r\n\r\nField: ") != std::string::npos, "message names the field");
    }
    if (fits) {
        require(ends_with(output, "\r\n"), "target ends with CR LF");
        // Records hold no line break of their own, so CR LF divides them.
        std::string_view rest(output);
        rest.remove_suffix(2);
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            require(end != std::string_view::npos, "every record ends with CR LF");
            const std::string_view record = rest.substr(0, end);
            require(record.find_first_of("\r\n") == std::string_view::npos,
                    "no line break inside a record");
            require(starts_with(record, "<R><MA>"), "record starts with <R><MA>");
            require(ends_with(record, "</DA></R>"), "record ends with </DA></R>");
            rest.remove_prefix(end + 2);
        }
    } else {
        require(output.empty(), "no target when a value is over-long");
    }

    std::string expected;
    std::vector<std::string> expected_messages;
    const reference::Verdict verdict = reference::convert(content, expected, expected_messages);
    require(static_cast<int>(outcome.end) == static_cast<int>(verdict.result) &&
                outcome.row == verdict.row && messages == expected_messages &&
                std::vector<std::string>(outcome.missing.begin(), outcome.missing.end()) ==
                    verdict.missing,
            "same checks as the line-by-line reference");
    require(!fits || output == expected, "same bytes as the line-by-line reference");
    return 0;
}
