// What a conversion run needs of the window it runs in: the year list's
// selection and entries, the close button's busy state, event processing and
// modal messages. Texts are bytes, as they stand in files and file names.
#pragma once

#include <string>

namespace convert {

class RunView {
public:
    virtual ~RunView() = default;

    /// Text of the selected year-list entry; "" when none is selected.
    virtual std::string selected_text() const = 0;
    /// Zero-based index of the selected entry; -1 when none is selected.
    virtual int selected_index() const = 0;
    virtual std::string entry_text(int index) const = 0;
    virtual void set_entry_text(int index, const std::string& text) = 0;
    /// Redraws the year list at once.
    virtual void refresh_list() = 0;

    virtual void set_close_enabled(bool enabled) = 0;
    virtual void set_close_caption(const std::string& caption) = 0;

    /// Lets the window handle the events waiting for it.
    virtual void process_pending_events() = 0;

    /// Shows `text` in a modal message box and returns once it is dismissed.
    /// Line breaks in `text` are CR LF.
    virtual void show_message(const std::string& text) = 0;
};

}  // namespace convert
