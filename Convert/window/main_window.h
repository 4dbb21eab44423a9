// F_SPECS, the program's one window: the year list of the program's folder,
// a label and the Close button. A double-click converts the entry under the
// pointer; the conversion reaches the window only through RunView.
#pragma once

#include <QWidget>
#include <filesystem>

#include "conversion_run.h"
#include "run_view.h"
#include "shown_text.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace convert {

class F_SPECS : public QWidget, private RunView {
    Q_OBJECT

public:
    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written.
    explicit F_SPECS(std::filesystem::path folder, QWidget* parent = nullptr);

    QListWidget* S_YEARS = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* B_CLOSE = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void B_CLOSE_Click();
    void S_YEARS_DblClick(QListWidgetItem* item);

private:
    void Form_Load();

    // RunView
    std::string selected_text() const override;
    int selected_index() const override;
    std::string entry_text(int index) const override;
    void set_entry_text(int index, const std::string& text) override;
    void refresh_list() override;
    void set_close_enabled(bool enabled) override;
    void set_close_caption(const std::string& caption) override;
    void process_pending_events() override;
    void show_message(const std::string& text) override;

    std::filesystem::path folder_;
    ConversionRun run_;
    bool close_requested_ = false;
};

}  // namespace convert
