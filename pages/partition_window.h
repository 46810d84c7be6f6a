#pragma once
// The partition page: the search for lost partitions on one drive, its progress, the
// partitions as they are found, Stop and Start, and the repair that writes them into a new
// partition table. The page owns the search thread; the list's model reads the thread's
// found list, and a new model is installed whenever the list grows or is emptied. Repair
// asks first and says in a box what became of the drive: repaired, or why nothing was
// written.
#include <QTimer>
#include <QWidget>

#include "disk/partition_repair.h"
#include "pages/progress_bar.h"
#include "pages/ui_partition_form.h"

class main_window_c;
class partition_model_c;

class partition_window_c : public QWidget, public Ui_PartitionForm {
    Q_OBJECT
public:
    explicit partition_window_c(main_window_c* main_window, QWidget* parent = nullptr);

    // Searches `drive` from its start. A search that still runs (the user left the page by a
    // mode button and chose a drive again) is stopped first, so the list and the repair are
    // always about the drive searched last.
    void start_search(const drive_item_s& drive);
    // Stops a running search; what it found stays listed.
    void stop_search();

    const partition_repair_c& search() const { return thread; }
    const progress_bar_c& progress() const { return progress_bar; }

    // The translation key of the box that tells why a repair wrote nothing.
    static const char* refusal_key(repair_refusal_e refusal);

public slots:
    void on_partition_found();
    void on_thread_finished();
    void on_timer();
    void on_stop_clicked();
    void on_repair_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void show_found();

    main_window_c* main_window;
    partition_repair_c thread;
    progress_bar_c progress_bar;
    QTimer timer;
    partition_model_c* model = nullptr;
};
