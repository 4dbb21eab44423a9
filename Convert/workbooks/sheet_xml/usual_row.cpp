#include "workbooks/sheet_xml/usual_row.h"

#include <algorithm>
#include <array>

namespace convert {

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
/// The deepest a usual row goes, and the most qualified names it learns.
constexpr std::size_t kMaxDepth = 8;
constexpr std::size_t kSlots = 64;
constexpr std::size_t kCut = std::string_view::npos;

unsigned char byte_of(char c) {
    return static_cast<unsigned char>(c);
}

/// What a byte may be in a usual row, one bit each.
enum : std::uint8_t {
    kNameStart = 1,  // a name's first character (ASCII)
    kNameChar = 2,   // any of a name's characters, a colon among them
    kPlainText = 4,  // text that needs no more looking at
    kPlainValue = 8  // an attribute value's byte that needs no more looking at
};
constexpr std::array<std::uint8_t, 256> kBytes = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool name = start || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
        const bool plain = c >= 0x20 && c < 0x80 && c != '<' && c != '&';
        table[c] = static_cast<std::uint8_t>((start ? kNameStart : 0) | (name ? kNameChar : 0) |
                                             (plain && c != ']' ? kPlainText : 0) |
                                             (plain && c != '"' && c != '\'' ? kPlainValue : 0));
    }
    return table;
}();

bool name_start(char c) {
    return (kBytes[byte_of(c)] & kNameStart) != 0;
}
/// White space a usual row may hold; a carriage return is not, as the
/// parser would change it.
bool space(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
/// Whether `name` is a name without a colon, in ASCII.
bool plain_name(std::string_view name) {
    return !name.empty() && name_start(name[0]) &&
           std::all_of(name.begin() + 1, name.end(),
                       [](char c) { return c != ':' && (kBytes[byte_of(c)] & kNameChar) != 0; });
}

/// Whether two names are the same: names are short, and a call to compare
/// them costs more than the comparing.
bool same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

/// A qualified name's prefix ("" for none) and local name.
std::pair<std::string_view, std::string_view> split(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    if (colon == std::string_view::npos) return {{}, qualified};
    return {qualified.substr(0, colon), qualified.substr(colon + 1)};
}

/// The slot of a qualified name in a cache of them.
std::size_t slot_of(std::string_view qualified) {
    return (qualified.size() * 7 + byte_of(qualified.front()) +
            byte_of(qualified[qualified.size() / 2]) * 5 + byte_of(qualified.back()) * 3) %
           kSlots;
}

/// The length of the UTF-8 character that `bytes` starts with (its first
/// byte 0x80 or above), 0 when it is none that XML allows, kCut when the
/// bytes end inside it.
std::size_t utf8_length(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char first = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        if (first == 0xE0) low = 0xA0;   // no overlong forms
        if (first == 0xED) high = 0x9F;  // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        if (first == 0xF0) low = 0x90;
        if (first == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length) return kCut;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    // U+FFFE and U+FFFF are no characters.
    if (first == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;
    return length;
}

class TokenAttributes final : public XmlAttributes {
public:
    TokenAttributes(const XmlAttribute* first, const XmlAttribute* last)
        : first_(first), last_(last) {}
    std::size_t size() const override { return static_cast<std::size_t>(last_ - first_); }
    XmlAttribute operator[](std::size_t i) const override { return first_[i]; }
    std::optional<std::string_view> find(std::string_view ns,
                                         std::string_view name) const override {
        for (const XmlAttribute* a = first_; a != last_; ++a) {
            if (same(a->name, name) && a->ns == ns) return a->value;
        }
        return std::nullopt;
    }

private:
    const XmlAttribute* first_;
    const XmlAttribute* last_;
};

}  // namespace

UsualRow::UsualRow(const std::vector<XmlName>& rows, const std::vector<XmlName>& inside)
    : elements_(rows), rows_(rows.size()) {
    elements_.insert(elements_.end(), inside.begin(), inside.end());
}

void UsualRow::learn(const std::vector<XmlBinding>& bindings) {
    const auto same = [](const XmlBinding& a, const XmlBinding& b) {
        return a.prefix == b.prefix && a.ns == b.ns;
    };
    if (std::equal(bindings.begin(), bindings.end(), bindings_.begin(), bindings_.end(), same)) {
        return;
    }
    bindings_ = bindings;
    for (Known& known : elements_known_) known.qualified.clear();
    for (Known& known : attributes_known_) known.qualified.clear();
}

std::optional<std::string_view> UsualRow::ns_of(std::string_view prefix) const {
    for (auto b = bindings_.rbegin(); b != bindings_.rend(); ++b) {
        if (b->prefix == prefix) return std::string_view(b->ns);
    }
    if (prefix.empty()) return std::string_view{};
    if (prefix == "xml") return kXmlNamespace;
    return std::nullopt;
}

int UsualRow::element_of(std::string_view qualified) {
    Known& known = elements_known_[slot_of(qualified)];
    if (same(known.qualified, qualified)) return known.element;
    known = {std::string(qualified), {}, 0, -1};
    const auto [prefix, local] = split(qualified);
    if (const auto ns = ns_of(prefix); ns && prefix != "xmlns") {
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            if (elements_[i].name == local && elements_[i].ns == *ns) {
                known.element = static_cast<int>(i);
                break;
            }
        }
    }
    return known.element;
}

const UsualRow::Known* UsualRow::attribute_of(std::string_view qualified) {
    Known& known = attributes_known_[slot_of(qualified)];
    if (same(known.qualified, qualified)) return known.element == 0 ? &known : nullptr;
    known = {std::string(qualified), {}, 0, -1};
    const auto [prefix, local] = split(qualified);
    known.local = qualified.size() - local.size();
    if (!plain_name(local) || (local.size() < qualified.size() && !plain_name(prefix)) ||
        qualified == "xmlns" || prefix == "xmlns") {
        return nullptr;
    }
    // An attribute without a prefix has no namespace.
    const std::optional<std::string_view> ns =
        prefix.empty() ? std::optional<std::string_view>(std::string_view{}) : ns_of(prefix);
    if (!ns) return nullptr;
    known.ns = *ns;
    known.element = 0;
    return &known;
}

UsualRow::Read UsualRow::read(std::string_view bytes) {
    tokens_.clear();
    attributes_.clear();
    open_.clear();
    lines_ = 0;
    cut_ = false;
    bytes_ = bytes;
    at_ = 0;
    const auto fails = [&] { return cut_ ? Read::cut : Read::unusual; };
    while (at_ < bytes_.size() && space(bytes_[at_])) lines_ += bytes_[at_++] == '\n';
    if (at_ == bytes_.size()) return Read::cut;
    if (bytes_[at_] != '<') return Read::unusual;
    for (;;) {
        if (at_ + 1 >= bytes_.size()) return Read::cut;
        if (bytes_[at_] != '<') {
            if (!text()) return fails();
            continue;
        }
        const char next = bytes_[at_ + 1];
        if (next == '!' || next == '?' || (next == '/' && open_.empty())) return Read::unusual;
        if (next == '/') {
            at_ += 2;
            if (!end_tag()) return fails();
        } else {
            ++at_;
            if (!start_tag()) return fails();
        }
        if (open_.empty()) break;
    }
    size_ = at_;
    return Read::usual;
}

std::string_view UsualRow::name() {
    const std::size_t begin = at_;
    while (at_ < bytes_.size() && (kBytes[byte_of(bytes_[at_])] & kNameChar) != 0) ++at_;
    return bytes_.substr(begin, at_ - begin);
}

bool UsualRow::start_tag() {
    const std::string_view qualified = name();
    if (at_ == bytes_.size()) return !(cut_ = true);
    if (qualified.empty()) return false;
    const int element = element_of(qualified);
    // A row's element starts the row, and only there.
    if (element < 0 || (static_cast<std::size_t>(element) < rows_) != open_.empty() ||
        open_.size() >= kMaxDepth) {
        return false;
    }
    const auto first = static_cast<std::uint32_t>(attributes_.size());
    for (;;) {
        if (at_ + 1 >= bytes_.size()) return !(cut_ = true);
        const char c = bytes_[at_];
        const auto last = static_cast<std::uint32_t>(attributes_.size());
        const auto kind = static_cast<std::uint8_t>(element);
        if (c == '>') {
            ++at_;
            tokens_.push_back({Token::Kind::start, kind, first, last, {}});
            open_.emplace_back(qualified, kind);
            return true;
        }
        if (c == '/') {
            if (bytes_[at_ + 1] != '>') return false;
            at_ += 2;
            tokens_.push_back({Token::Kind::start, kind, first, last, {}});
            tokens_.push_back({Token::Kind::end, kind, 0, 0, {}});
            return true;
        }
        if (!space(c)) return false;
        while (at_ < bytes_.size() && space(bytes_[at_])) lines_ += bytes_[at_++] == '\n';
        if (at_ == bytes_.size()) return !(cut_ = true);
        if (bytes_[at_] != '>' && bytes_[at_] != '/' && !attribute(first)) return false;
    }
}

bool UsualRow::attribute(std::size_t first) {
    const std::string_view qualified = name();
    if (qualified.empty()) return false;
    const Known* known = attribute_of(qualified);
    if (known == nullptr) return false;
    while (at_ < bytes_.size() && space(bytes_[at_])) lines_ += bytes_[at_++] == '\n';
    if (at_ < bytes_.size() && bytes_[at_] != '=') return false;
    ++at_;
    while (at_ < bytes_.size() && space(bytes_[at_])) lines_ += bytes_[at_++] == '\n';
    if (at_ >= bytes_.size()) return !(cut_ = true);
    const char quote = bytes_[at_];
    if (quote != '"' && quote != '\'') return false;
    const std::size_t value = ++at_;
    for (;;) {
        while (at_ < bytes_.size() && (kBytes[byte_of(bytes_[at_])] & kPlainValue) != 0) ++at_;
        if (at_ >= bytes_.size()) return !(cut_ = true);
        const auto c = static_cast<unsigned char>(bytes_[at_]);
        if (c == static_cast<unsigned char>(quote)) break;
        // The parser would turn white space in a value into spaces.
        if (c < 0x20 || c == '<' || c == '&') return false;
        if (c < 0x80) {
            ++at_;
            continue;
        }
        const std::size_t length = utf8_length(bytes_.substr(at_));
        if (length == kCut) return !(cut_ = true);
        if (length == 0) return false;
        at_ += length;
    }
    const std::string_view text = bytes_.substr(value, at_ - value);
    ++at_;
    // An attribute named twice is an error; one named alike in two
    // namespaces is left to the parser too.
    // The views are of the row's bytes: the slot may be taken by the next name.
    const std::string_view local = qualified.substr(known->local);
    for (std::size_t i = first; i < attributes_.size(); ++i) {
        if (same(attributes_[i].name, local)) return false;
    }
    attributes_.push_back({known->ns, local, text});
    return true;
}

bool UsualRow::end_tag() {
    const std::string_view qualified = name();
    while (at_ < bytes_.size() && space(bytes_[at_])) lines_ += bytes_[at_++] == '\n';
    if (at_ >= bytes_.size()) return !(cut_ = true);
    if (bytes_[at_] != '>' || !same(qualified, open_.back().first)) return false;
    ++at_;
    tokens_.push_back({Token::Kind::end, open_.back().second, 0, 0, {}});
    open_.pop_back();
    return true;
}

bool UsualRow::text() {
    const std::size_t begin = at_;
    while (at_ < bytes_.size()) {
        while (at_ < bytes_.size() && (kBytes[byte_of(bytes_[at_])] & kPlainText) != 0) ++at_;
        if (at_ == bytes_.size()) break;
        const auto c = static_cast<unsigned char>(bytes_[at_]);
        if (c == '<') break;
        if (c >= 0x80) {
            const std::size_t length = utf8_length(bytes_.substr(at_));
            if (length == kCut) return !(cut_ = true);
            if (length == 0) return false;
            at_ += length;
            continue;
        }
        if (c < 0x20 && c != '\t' && c != '\n') return false;
        if (c == '&') return false;
        if (c == ']') {
            if (at_ + 3 > bytes_.size()) return !(cut_ = true);
            if (bytes_.substr(at_, 3) == "]]>") return false;
        }
        lines_ += c == '\n';
        ++at_;
    }
    if (at_ == bytes_.size()) return !(cut_ = true);
    tokens_.push_back({Token::Kind::text, 0, 0, 0, bytes_.substr(begin, at_ - begin)});
    return true;
}

void UsualRow::hand_on(XmlHandler& handler) const {
    for (const Token& token : tokens_) {
        const XmlName& element = elements_[token.element];
        switch (token.kind) {
            case Token::Kind::start:
                handler.start(element.ns, element.name,
                              TokenAttributes(attributes_.data() + token.first,
                                              attributes_.data() + token.last));
                break;
            case Token::Kind::end:
                handler.end(element.ns, element.name);
                break;
            case Token::Kind::text:
                handler.text(token.text);
                break;
        }
    }
}

}  // namespace convert
