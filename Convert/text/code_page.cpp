#include "text/code_page.h"

#include "text/utf8.h"
#include "text/windows_1252.h"

namespace convert {

namespace {

class Windows1252 : public CodePage {
public:
    unsigned number() const override { return 1252; }
    bool encode(std::string_view text, std::string& out) const override {
        bool all = true;
        each_utf8_character(text, [&](char32_t c) {
            const int b = to_windows_1252(c);
            all = all && b >= 0;
            if (all) out += static_cast<char>(b);
        });
        return all;
    }
};

}  // namespace

const CodePage& windows_1252_code_page() {
    static const Windows1252 code_page;
    return code_page;
}

}  // namespace convert
