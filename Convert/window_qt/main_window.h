// The program's one window in Qt: the year list of the program's folder, a
// label and the Close button. A double-click converts the entry under the
// pointer through the window's run session, which runs it off the window's
// thread; the window only shows what the session asks.
#pragma once

#include <QWidget>
#include <filesystem>
#include <string>

#include "window_shared/run_session.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace convert {

class MainWindow : public QWidget, private RunWindow {
    Q_OBJECT

public:
    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written.
    explicit MainWindow(std::filesystem::path folder, QWidget* parent = nullptr);

    /// What makes the window's runs; tests give it files of their own.
    RunSession& session() { return session_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void convert_item(QListWidgetItem* item);

    // RunWindow
    Answer show_message(const MessageLines& message, Box box) override;
    void set_busy(bool busy) override;
    void show_progress(Progress, std::uint64_t, std::uint64_t) override {}
    void show_entry(std::size_t index) override;
    void close_window() override { close(); }
    void wake() override;

    QListWidget* year_list_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* close_button_ = nullptr;
    RunSession session_;  // last: it waits for a run under way when it goes
};

}  // namespace convert
