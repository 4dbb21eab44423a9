#include "workbooks/ods/row_text.h"

#include <algorithm>

#include "workbooks/ods/ods_part.h"

namespace convert::ods {

namespace {

/// White space that a paragraph's text collapses to one space.
constexpr std::string_view kWhiteSpace = " \t\n\r";

}  // namespace

std::string RowText::take_from(std::size_t offset) {
    std::string taken = text_.substr(offset);
    text_.resize(offset);
    return taken;
}

void RowText::start_paragraph() {
    if (!first_paragraph_) keep("\n");
    first_paragraph_ = false;
    inside_ = 0;
    any_ = space_ = false;
}

bool RowText::start_in_paragraph(std::string_view ns, std::string_view name,
                                 const XmlAttributes& attributes) {
    if (ns == kText && name == "s") {
        kept({});
        keep(count_of(attributes.find(kText, "c").value_or("1"), "a space count", kLongestRow + 1,
                      1),
             ' ');
        return false;
    }
    if (ns == kText && name == "line-break") {
        kept("\n");
        return false;
    }
    // A tab: the export writes nothing for it.
    if ((ns == kText && (name == "tab" || name == "note-body" || name == "ruby-text")) ||
        (ns == kOffice && name == "annotation") || ns == kDraw) {
        return false;
    }
    ++inside_;
    return true;
}

bool RowText::end_in_paragraph() {
    if (inside_ == 0) return true;
    --inside_;
    return false;
}

void RowText::paragraph_text(std::string_view text) {
    while (!text.empty()) {
        const std::size_t gap = std::min(text.find_first_of(kWhiteSpace), text.size());
        if (gap > 0) kept(text.substr(0, gap));
        text.remove_prefix(gap);
        const std::size_t word = std::min(text.find_first_not_of(kWhiteSpace), text.size());
        if (word > 0) space_ = any_;
        text.remove_prefix(word);
    }
}

void RowText::kept(std::string_view text) {
    if (space_) keep(" ");
    space_ = false;
    any_ = true;
    keep(text);
}

}  // namespace convert::ods
