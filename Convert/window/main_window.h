// The program's one window in Qt: the year list of the program's folder, a
// label and the Close button. A double-click converts the entry under the
// pointer; the window keeps the entries, their marks and the busy state, and
// hears from the conversion only through its RunReport.
#pragma once

#include <QWidget>
#include <chrono>
#include <filesystem>
#include <string>

#include "run_report.h"
#include "year_list.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace convert {

class MainWindow : public QWidget, private RunReport {
    Q_OBJECT

public:
    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written. `options` go to every run (tests slow
    /// the reading down).
    explicit MainWindow(std::filesystem::path folder, RunOptions options = {},
                        QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill_year_list();
    void convert_entry(QListWidgetItem* item);
    void set_busy(bool busy);
    void show_message(const std::string& text);

    // RunReport
    void message(const std::string& text) override { show_message(text); }
    void progress(std::uint64_t done, std::uint64_t total) override;

    YearList years_;
    RunOptions options_;
    std::chrono::steady_clock::time_point events_handled_;
    QListWidget* year_list_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* close_button_ = nullptr;
    bool busy_ = false;
    bool close_requested_ = false;
    bool closing_ = false;
};

}  // namespace convert
