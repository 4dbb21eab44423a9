// The target's code page on POSIX systems: Windows-1252, in which the files'
// readers on Windows have always taken them.
#include "text/code_page.h"

namespace convert {

const CodePage& target_code_page() {
    return windows_1252_code_page();
}

}  // namespace convert
