#pragma once
// The recovery page: a file scan of one volume through a recovery session, its status (progress,
// entries read, files found), the folder tree and the file table of its results, and the
// copying of the checked files into a folder the user chooses.
//
// The scan runs on the engine's thread and the copying on the page's writer thread; the
// page only reads their state from a 200 ms timer and their end from queued signals, so it
// never waits on them. Both threads are handed to the main window, which stops and waits
// for them when it closes.
#include <QLabel>
#include <QList>
#include <QImage>
#include <QMovie>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <optional>

#include "pages/progress_bar.h"
#include "recovery/recovery_item.h"
#include "recovery/recovery_session.h"
#include "recovery/recovery_writer.h"
#include "volumes/volume_item.h"

class main_window_c;
class TreeModel;
class recovery_model_c;
class MyHeaderView;
class MyQTableView;
class file_preview_c;

// Writes a copy of the checked rows into a folder, on its own thread, through the engine
// library's writer; the outcomes are read once the thread has finished.
class recovery_file_c : public QThread {
    Q_OBJECT
public:
    explicit recovery_file_c(recovery_session_c& session) : writer(session) {}
    ~recovery_file_c() override { wait(); }

    QString folder;
    bool on_volume = false;  // the user chose to write onto the scanned volume after the warning
    QList<recovery_row_s> rows;
    QList<recovery_outcome_s> outcomes;
    // The rows done so far in this run (set to 0 before each start); read by the page.
    std::atomic<int> done{0};

protected:
    void run() override;

private:
    recovery_writer_c writer;
};

class recovery_window_c : public QWidget {
    Q_OBJECT
public:
    explicit recovery_window_c(main_window_c* main);
    ~recovery_window_c() override;

    // 0 when the scan started, or will start as soon as the preview copy being made is done;
    // -1 while a scan runs, or (with a box saying why) while a recovery writes, or when
    // nothing was started.
    int start_recovery(const volume_item_s& volume, std::uint8_t deep);
    // Asks for a deep scan's saved result and shows it: 0 when loaded; -1 when cancelled, or
    // (with a box saying why) when the file cannot be used or its volume is not present.
    int load_scan_result();
    // Ends a running scan, its results discarded.
    void cancel_scan();
    // Empties the tree and the table and stops the status timer.
    void reset_page();

    QPushButton* btn_recovery;
    QPushButton* btn_back;
    QPushButton* btn_stop;
    QPushButton* btn_pause;
    QPushButton* btn_filter;
    QTreeView* tv_dirtree;
    QLabel* lbl_anime;
    MyQTableView* table_view;
    MyHeaderView* header;

    std::uint32_t deep_scan = 0;
    volume_item_s volume;
    std::int32_t engine_kind = -1;
    QList<recovery_item_s> rows;

    recovery_session_c& session() { return session_; }
    TreeModel* tree_model() const { return tree_model_; }
    recovery_model_c* table_model() const { return table_model_; }
    double progress() const { return progress_; }
    // The files found, as the status area shows them.
    std::int64_t found_files();
    // The status line above the progress bar.
    QString status_text();
    bool writer_running() const;
    // The preview of the row clicked last: shown once its copy has been written and read.
    bool preview_shown = false;
    recovery_item_s preview_item;
    file_preview_c* preview() const { return preview_; }
    const QImage& preview_image() const { return preview_image_; }
    const QString& preview_text() const { return preview_text_; }

public slots:
    void on_timer();
    void on_thread_finished(bool stopped);
    void on_tree_clicked(const QModelIndex& index);
    void on_list_clicked(const QModelIndex& index);
    void on_recovery_clicked();
    void on_stop_clicked();
    void on_pause_clicked();
    void on_save_result_clicked();
    void on_check_all(bool value);
    void on_sort_column(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int restart_recovery();
    // Shows why no scan or load can begin while the writer writes; false when it does not.
    bool refuse_while_writing();
    // Drops a scan that waits for the preview copy; the page offers Start again.
    void drop_waiting_start();
    void show_scan_buttons();
    void show_idle_buttons();
    // Shows the session's results as the tree; false when there is nothing to show.
    bool show_results();
    void reset_tree();
    void reset_table();
    void on_writer_finished();
    void request_preview(const recovery_item_s& row);
    void on_preview_finished();
    void hide_preview();
    void paint_preview(QPainter& painter, int width, int height);
    void adopt(QThread* thread, std::function<void()> stop);

    main_window_c* main_;
    recovery_session_c session_;
    recovery_file_c* writer_ = nullptr;
    file_preview_c* preview_ = nullptr;
    std::optional<recovery_item_s> pending_preview_;  // asked for while another was made
    int preview_generation_ = 0;                      // bumped whenever the shown preview is dropped
    int preview_requested_ = -1;                      // the generation of the preview being made
    QImage preview_image_;                            // what the preview shows: a picture, else a text
    QString preview_text_;
    TreeModel* tree_model_ = nullptr;
    recovery_model_c* table_model_ = nullptr;
    QTimer timer_;
    QMovie* movie_;
    double progress_ = 0.0;
    progress_bar_c bar_;
    // How the last scan ended, for the status line: nullptr while it runs or before any,
    // else the key of "finished" or "stopped".
    const char* end_key_ = nullptr;
    // The file the results shown were loaded from; empty for a scan's results. A loaded
    // result does not say how much of its volume was scanned, so the page shows no share.
    QString loaded_from_;
    bool discarding_ = false;  // the running scan's results are to be dropped
    // A scan was asked for while a preview copy read the engine that the scan resets: it
    // starts once the copy is done. The page counts as scanning meanwhile.
    bool start_waiting_ = false;
    std::int64_t tree_files_ = 0;  // the files of the shown tree
    QString shown_folder_ = QStringLiteral("/");
    QString last_folder_;
    QList<QThread*> adopted_;
};
