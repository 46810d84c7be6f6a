#include "pages/partition_window.h"

#include <QPainter>

#include "app/main_window.h"
#include "disk/partition_table.h"
#include "pages/partition_model.h"
#include "settings/localisation.h"
#include "skin/message_box.h"

partition_window_c::partition_window_c(main_window_c* main_window, QWidget* parent)
    : QWidget(parent), main_window(main_window)
{
    setupUi(this);
    lv_volumes->setItemDelegate(new partition_delegate_c(lv_volumes));
    show_found();
    for (QPushButton* b : {btn_back, btn_stop, btn_repair}) {
        b->resize(100, 30);
    }
    btn_back->setText(translate("btn_back"));
    btn_stop->setText(translate("btn_stop"));
    btn_repair->setText(translate("btn_repair"));

    connect(&thread, &partition_repair_c::partition_found, this, &partition_window_c::on_partition_found);
    connect(&thread, &partition_repair_c::found_cleared, this, &partition_window_c::show_found);
    connect(&thread, &QThread::finished, this, &partition_window_c::on_thread_finished);
    connect(btn_stop, &QPushButton::clicked, this, &partition_window_c::on_stop_clicked);
    connect(&timer, &QTimer::timeout, this, &partition_window_c::on_timer);
    connect(btn_back, &QPushButton::clicked, main_window, &main_window_c::on_click_partition_back);
    connect(btn_repair, &QPushButton::clicked, this, &partition_window_c::on_repair_clicked);
    main_window->owned_threads().adopt(&thread, [this] { thread.request_stop(); });

    timer.start(400);
    progress_bar.set_look(QStringLiteral(":/images/partition_search/loding_on.png"), QColor(226, 240, 253));
}

void partition_window_c::show_found()
{
    replace_model(lv_volumes, model, new partition_model_c(&thread, lv_volumes));
}

void partition_window_c::start_search(const drive_item_s& drive)
{
    btn_stop->setText(translate("btn_stop"));
    thread.start_search(drive);
    on_timer();
}

void partition_window_c::stop_search()
{
    if (thread.searching()) {
        thread.request_stop();
        btn_stop->setText(translate("btn_start"));
    }
}

void partition_window_c::on_partition_found()
{
    show_found();
}

void partition_window_c::on_thread_finished()
{
    // The end of a search that a newer one replaced says nothing about the newer one.
    if (thread.ended_search() != thread.started_search()) {
        return;
    }
    on_timer();
    if (!thread.was_stopped()) {
        btn_stop->setText(QStringLiteral("Start"));
    }
}

void partition_window_c::on_timer()
{
    progress_bar.value = thread.progress();
    update();
}

void partition_window_c::on_stop_clicked()
{
    if (thread.searching()) {
        thread.request_stop();
        btn_stop->setText(translate("btn_start"));
        return;
    }
    btn_stop->setText(translate("btn_stop"));
    thread.start_search();  // waits for a stopped search that is still ending its last read
    on_timer();
}

const char* partition_window_c::refusal_key(repair_refusal_e refusal)
{
    switch (refusal) {
    case repair_refusal_e::gpt_disk:
        return "partition_gpt_warning";
    case repair_refusal_e::too_many:
        return "partition_too_many_warning";
    case repair_refusal_e::beyond_mbr:
        return "partition_beyond_warning";
    case repair_refusal_e::nothing_found:
        return "partition_none_warning";
    case repair_refusal_e::none:
    case repair_refusal_e::no_drive:
    case repair_refusal_e::search_running:
    case repair_refusal_e::search_stopped:
        break;
    }
    return "partition_failed_warning";
}

void partition_window_c::on_repair_clicked()
{
    if (thread.searching()) {
        return;
    }
    thread.wait();  // a stopped search may still be ending its last read
    // A plan that cannot be written is told at once: there is nothing to ask about.
    const table_plan_s plan = thread.plan_repair();
    if (plan.refusal != repair_refusal_e::none) {
        warning_box(this, refusal_key(plan.refusal), QMessageBox::Ok);
        return;
    }
    // The question shows the table as it is and as it will be written, so that the person
    // answers it about the entries themselves.
    plan_words_s words;
    words.now = translate("partition_plan_now");
    words.after = translate("partition_plan_after");
    words.empty = translate("partition_plan_empty");
    words.nothing_written = translate("partition_plan_nothing");
    words.kept = translate("partition_fate_kept");
    words.found = translate("partition_fate_found");
    words.replaced = translate("partition_fate_replaced");
    words.dropped = translate("partition_fate_dropped");
    const QString table = QStringLiteral("<pre>") +
                          describe_table_plan(plan, words).join(QLatin1Char('\n')).toHtmlEscaped() +
                          QStringLiteral("</pre>");
    if (warning_box(this, "partition_query", QMessageBox::Yes | QMessageBox::No, QStringLiteral("Orvane"), table) !=
        QMessageBox::Yes) {
        return;
    }
    if (thread.write_partition_table() == 0) {
        warning_box(this, "partition_finished", QMessageBox::Ok);
    } else {
        warning_box(this, refusal_key(thread.last_refusal()), QMessageBox::Ok);
    }
}

void partition_window_c::paintEvent(QPaintEvent*)
{
    const int w = width();
    QPainter p(this);
    paint_page_band(p, w);
    p.drawPixmap(45, 30, QPixmap(QStringLiteral(":/images/partition_search/icon_found1.png")));
    p.setPen(QColor(139, 184, 241));
    p.drawRect(25, 12, w - 50, 92);
    progress_bar.paint(p, QRect(120, 50, 450, 12));
    // What the search is doing, and once it has ended, how it ended and what it found, so
    // that a finished search is not mistaken for one that found nothing or still runs.
    p.setFont(QFont(QStringLiteral("Verdana"), 10));
    p.setPen(Qt::black);
    if (thread.searching()) {
        p.drawText(120, 40, translate("partition_text1"));
    } else if (thread.started_search() != 0 && thread.ended_search() == thread.started_search() &&
               thread.last_result() == 0) {
        const char* key = thread.was_stopped() ? "partition_stopped" : "partition_done";
        p.drawText(120, 40, translate(key).arg(thread.found_count()));
    }
}

void partition_window_c::resizeEvent(QResizeEvent* event)
{
    const int w = width(), h = height();
    btn_back->move(200, h - 54);
    btn_repair->move(w - 300, h - 54);
    btn_stop->move(w - 168, 42);
    lv_volumes->setGeometry(25, 120, w - 50, h - 180);
    QWidget::resizeEvent(event);
}
