#include "results/recovery_window.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QUrl>

#include "app/main_window.h"
#include "results/file_preview.h"
#include "results/result_models.h"
#include "settings/localisation.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"
#include "volumes/volume_enumeration.h"

void recovery_file_c::run()
{
    writer.on_volume_allowed = on_volume;
    outcomes = writer.write(rows, folder, false, [this](const recovery_outcome_s&) { ++done; });
}

namespace {

const char* const style_a =
    "QPushButton{ border-image: url(:/images/partition_search/btn_wai_1.png); }\n"
    "QPushButton:hover{ border-image: url(:/images/partition_search/btn_wai_2.png);}\n"
    "QPushButton:pressed{  border-image: url(:/images/partition_search/btn_wai_3.png);}";
const char* const style_b =
    "QPushButton{ border-image: url(:/images/partition_search/btn_start_1.png); }\n"
    "QPushButton:hover{ border-image: url(:/images/partition_search/btn_start_2.png);}\n"
    "QPushButton:pressed{  border-image: url(:/images/partition_search/btn_start_3.png);}";

QPushButton* make_button(QWidget* page, const char* name, const char* key, QSize size, const char* style)
{
    auto* b = new QPushButton(translate(key), page);
    b->setObjectName(QString::fromLatin1(name));
    b->resize(size);
    b->setStyleSheet(QString::fromLatin1(style));
    QFont font(QStringLiteral("Arial"), 11);
    font.setBold(true);
    b->setFont(font);
    return b;
}

}  // namespace

recovery_window_c::recovery_window_c(main_window_c* main) : QWidget(main), main_(main)
{
    setObjectName(QStringLiteral("RecoveryForm"));
    resize(583, 438);
    btn_recovery = make_button(this, "btn_recovery", "btn_recovery", {100, 30}, style_a);
    btn_back = make_button(this, "btn_back", "btn_back", {100, 30}, style_a);
    btn_stop = make_button(this, "btn_stop", "btn_stop", {80, 30}, style_b);
    btn_pause = make_button(this, "btn_pause", "btn_pause", {80, 30}, style_b);
    btn_filter = make_button(this, "btn_filter", "btn_save_result", {80, 30}, style_b);
    show_idle_buttons();

    movie_ = new QMovie(QStringLiteral(":/images/recovery/ani.gif"), {}, this);
    lbl_anime = new QLabel(this);
    lbl_anime->setObjectName(QStringLiteral("lbl_anime"));
    lbl_anime->setGeometry(0, 0, 130, 86);
    lbl_anime->setMovie(movie_);

    tv_dirtree = new QTreeView(this);
    tv_dirtree->setObjectName(QStringLiteral("tv_dirtree"));
    tv_dirtree->setStyleSheet(
        QStringLiteral("QTreeView  {\n    border-style: none;\n    border: 1px solid #8bb8fe;\n }\n"));
    tree_model_ = new TreeModel({}, this);
    tv_dirtree->setModel(tree_model_);
    tv_dirtree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tv_dirtree->header()->setStretchLastSection(false);
    tv_dirtree->header()->hide();

    table_view = new MyQTableView(this);
    table_view->setStyleSheet(QStringLiteral("QTableView{border-style: none;border: 1px solid #8bb8fe;}"));
    table_model_ = new recovery_model_c(&rows, this);
    table_view->setModel(table_model_);
    table_view->setItemDelegate(new recovery_delegate_c(this));
    table_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_view->verticalHeader()->hide();
    header = new MyHeaderView(this);
    table_view->setHorizontalHeader(header);
    header->resizeSection(0, 33);
    header->resizeSection(1, 235);
    // The size and date columns fit the page's table at its smallest; the last one takes
    // whatever width is left, so no scroll bar appears for a few pixels.
    for (int column = 2; column < 5; ++column)
        header->resizeSection(column, 95);
    header->setStretchLastSection(true);

    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, &recovery_window_c::on_timer);
    connect(&session_, &recovery_session_c::finished, this, &recovery_window_c::on_thread_finished);
    connect(tv_dirtree, &QTreeView::clicked, this, &recovery_window_c::on_tree_clicked);
    connect(table_view, &QTableView::clicked, this, &recovery_window_c::on_list_clicked);
    connect(btn_recovery, &QPushButton::clicked, this, &recovery_window_c::on_recovery_clicked);
    connect(btn_stop, &QPushButton::clicked, this, &recovery_window_c::on_stop_clicked);
    connect(btn_pause, &QPushButton::clicked, this, &recovery_window_c::on_pause_clicked);
    connect(btn_filter, &QPushButton::clicked, this, &recovery_window_c::on_save_result_clicked);
    connect(header, &MyHeaderView::check_all, this, &recovery_window_c::on_check_all);
    connect(header, &MyHeaderView::sort_column, this, &recovery_window_c::on_sort_column);
    timer_.start();
    bar_.set_look(QStringLiteral(":/images/partition_search/loding_on.png"), QColor(226, 240, 253));
}

recovery_window_c::~recovery_window_c()
{
    // The writer and the preview read the session's engine: they end before the session does.
    delete writer_;
    delete preview_;
}

void recovery_window_c::adopt(QThread* thread, std::function<void()> stop)
{
    if (adopted_.contains(thread))
        return;
    adopted_.append(thread);
    main_->owned_threads().adopt(thread, std::move(stop));
}

bool recovery_window_c::writer_running() const
{
    return writer_ && writer_->isRunning();
}

std::int64_t recovery_window_c::found_files()
{
    if (start_waiting_)
        return 0;
    // The deep engine counts nothing while it scans; its results are counted once shown.
    return session_.kind() == engine_kind::deep ? tree_files_ : session_.found_count();
}

void recovery_window_c::show_scan_buttons()
{
    btn_pause->setText(translate("btn_pause"));
    btn_pause->show();
    btn_stop->show();
}

void recovery_window_c::show_idle_buttons()
{
    // Before a scan the page offers Start, never a Pause and Stop that would look like a
    // scan that hangs.
    btn_pause->setText(translate("btn_start"));
    btn_pause->show();
    btn_stop->hide();
    btn_filter->hide();
}

void recovery_window_c::reset_tree()
{
    TreeModel* old = tree_model_;
    tree_model_ = new TreeModel({}, this);
    tv_dirtree->setModel(tree_model_);
    delete old;
    tree_files_ = 0;
}

void recovery_window_c::reset_table()
{
    rows.clear();
    recovery_model_c* old = table_model_;
    table_model_ = new recovery_model_c(&rows, this);
    table_view->setModel(table_model_);
    delete old;
}

bool recovery_window_c::refuse_while_writing()
{
    if (!writer_running())
        return false;
    // A new scan would reset the engine the files are being read through.
    notice_box(isVisible() ? static_cast<QWidget*>(this) : main_,
               translate("recovery_writing_warning").arg(QDir::toNativeSeparators(writer_->folder)), QMessageBox::Ok);
    return true;
}

int recovery_window_c::start_recovery(const volume_item_s& item, std::uint8_t deep)
{
    if (scan_busy || refuse_while_writing())
        return -1;
    show_scan_buttons();
    reset_tree();
    reset_table();
    deep_scan = deep;
    btn_filter->hide();
    volume = item;
    return restart_recovery();
}

int recovery_window_c::restart_recovery()
{
    if (scan_busy || refuse_while_writing())
        return -1;
    // A preview asked for before the scan is no longer wanted, even one whose copy has just
    // ended and whose end is still on its way here: the scan rebuilds the tree it came from.
    hide_preview();
    if (preview_ && preview_->isRunning()) {
        // The copy is at most a few MiB; the scan starts when it is done (on_preview_finished)
        // rather than being refused.
        start_waiting_ = true;
        loaded_from_.clear();
    } else {
        if (!session_.start(volume, deep_scan != 0))
            return -1;
        engine_kind = int(session_.kind());
        loaded_from_.clear();
        adopt(&session_.engine(), [this] { session_.stop(stop_discard); });
    }
    scan_busy = true;
    progress_ = 0.0;
    end_key_ = nullptr;
    movie_->start();
    timer_.start();
    show_scan_buttons();
    return 0;
}

void recovery_window_c::drop_waiting_start()
{
    start_waiting_ = false;
    scan_busy = false;
    movie_->stop();
    btn_pause->setText(translate("btn_start"));
    btn_stop->hide();
}

void recovery_window_c::cancel_scan()
{
    if (!scan_busy)
        return;
    if (start_waiting_) {
        drop_waiting_start();
        return;
    }
    discarding_ = true;
    session_.stop(stop_discard);
    // The engine ends at its next check; its end is delivered here so that the page is free
    // for the next scan at once.
    session_.wait();
}

void recovery_window_c::reset_page()
{
    timer_.stop();
    movie_->stop();
    reset_tree();
    reset_table();
    hide_preview();
    progress_ = 0.0;
    loaded_from_.clear();
    end_key_ = nullptr;
    if (!scan_busy)
        show_idle_buttons();
}

void recovery_window_c::on_timer()
{
    progress_ = session_.progress();
}

void recovery_window_c::on_thread_finished(bool stopped)
{
    btn_pause->setText(translate("btn_start"));
    btn_stop->hide();
    scan_busy = false;
    movie_->stop();
    const bool discarded = std::exchange(discarding_, false);
    bool nothing_found = false;
    if (!discarded) {
        // A stopped scan went only this far: the status shows what it covered.
        progress_ = stopped ? session_.progress() : 1.0;
        end_key_ = stopped ? "recovery_stopped" : "recovery_finished";
        nothing_found = !show_results();
        if (session_.kind() == engine_kind::deep)
            btn_filter->show();
    }
    // A scan that could not be made says why, below the offer of a deep scan (which reads
    // the volume by content and so may still find files on a damaged one), so that its empty
    // tree is not taken for a volume without deleted files.
    const QString failure = discarded || stopped ? QString() : session_.failure();
    if (nothing_found && !stopped && !deep_scan && isVisible()) {
        if (warning_box(this, "deep_scan_query", QMessageBox::Yes | QMessageBox::No, QStringLiteral("Orvane"),
                        failure) == QMessageBox::Yes) {
            deep_scan = 1;
            restart_recovery();
        }
    } else if (!failure.isEmpty() && isVisible()) {
        notice_box(this, failure, QMessageBox::Ok);
    }
}

bool recovery_window_c::show_results()
{
    std::optional<result_tree_s> tree = session_.results();
    if (!tree || tree->folders.empty() || (tree->folders.size() == 1 && tree->folders[0].rows.isEmpty()))
        return false;
    std::int64_t files = 0;
    for (const result_folder_s& f : tree->folders)
        files += f.rows.size();
    TreeModel* old = tree_model_;
    tree_model_ = new TreeModel(std::move(*tree), this);
    tv_dirtree->setModel(tree_model_);
    delete old;
    tree_files_ = files;
    tv_dirtree->expandToDepth(0);
    return true;
}

namespace {

const char* const scan_result_filter = "Orvane Scan files (*.sav);;All files (*.*)";

}  // namespace

void recovery_window_c::on_save_result_clicked()
{
    QString path =
        choose_save_file(this, QStringLiteral("Save"), QDir::currentPath(), QLatin1String(scan_result_filter));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".sav");
    // Saved by the engine library, as the command line's scan --deep --save does.
    if (const QString error = session_.save(path); !error.isEmpty())
        notice_box(
            this, translate("recovery_save_warning").arg(QDir::toNativeSeparators(path)) + QStringLiteral("\n") + error,
            QMessageBox::Ok);
}

int recovery_window_c::load_scan_result()
{
    if (scan_busy || refuse_while_writing())
        return -1;
    reset_page();
    const QString path =
        choose_open_file(this, QStringLiteral("Save"), QDir::currentPath(), QLatin1String(scan_result_filter));
    if (path.isEmpty())
        return -1;
    if (!session_.load(path, volume_item_list).isEmpty()) {
        notice_box(this, translate("recovery_load_warning").arg(QDir::toNativeSeparators(path)), QMessageBox::Ok);
        return -1;
    }
    // The files are read from the volume the result was made of; without it nothing could
    // be recovered, so the result is not shown.
    const QString stored = session_.volume().volume_path;
    const auto present = std::find_if(volume_item_list.begin(), volume_item_list.end(),
                                      [&](const volume_item_s& v) { return v.volume_path == stored; });
    if (present == volume_item_list.end()) {
        notice_box(this, translate("recovery_load_volume_warning").arg(QDir::toNativeSeparators(path), stored),
                   QMessageBox::Ok);
        return -1;
    }
    volume = *present;
    engine_kind = int(engine_kind::deep);
    deep_scan = 1;
    scan_busy = false;
    progress_ = 0.0;
    loaded_from_ = QFileInfo(path).fileName();
    show_results();
    btn_pause->hide();
    btn_stop->hide();
    btn_filter->hide();
    return 0;
}

void recovery_window_c::on_tree_clicked(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    hide_preview();
    reset_table();
    rows = tree_model_->folder(index).rows;
    shown_folder_ = tree_model_->tree().path_of(index.internalId());
    recovery_model_c* old = table_model_;
    table_model_ = new recovery_model_c(&rows, this);
    table_view->setModel(table_model_);
    delete old;
    header->all_checked = false;
    header->viewport()->update();
}

void recovery_window_c::on_list_clicked(const QModelIndex& index)
{
    if (!index.isValid() || index.row() >= rows.size())
        return;
    hide_preview();
    if (index.column() == 0)
        table_model_->set_checked(index.row(), !rows[index.row()].checked);
    if (rows[index.row()].size <= preview_max_bytes)
        request_preview(rows[index.row()]);
}

void recovery_window_c::hide_preview()
{
    preview_shown = false;
    ++preview_generation_;
    pending_preview_.reset();
    update();
}

void recovery_window_c::request_preview(const recovery_item_s& row)
{
    if (!preview_) {
        preview_ = new file_preview_c(session_);
        connect(preview_, &QThread::finished, this, &recovery_window_c::on_preview_finished, Qt::QueuedConnection);
        adopt(preview_, [] {});
    }
    // One copy is made at a time; a row clicked meanwhile is previewed next, in place of
    // any other that waited.
    if (!preview_->start_row(row)) {
        pending_preview_ = row;
        return;
    }
    preview_requested_ = preview_generation_;
}

void recovery_window_c::on_preview_finished()
{
    if (preview_->isRunning())
        return;
    if (start_waiting_) {
        drop_waiting_start();
        restart_recovery();
        return;
    }
    if (pending_preview_) {
        const recovery_item_s next = *std::exchange(pending_preview_, std::nullopt);
        request_preview(next);
        return;
    }
    if (preview_requested_ != preview_generation_ || !preview_->ready)
        return;
    preview_item = preview_->row;
    preview_image_ = preview_->image;
    preview_text_ = preview_->text;
    preview_shown = true;
    update();
}

void recovery_window_c::paint_preview(QPainter& painter, int w, int h)
{
    const QRect box(212, 79, w - 222, int(0.4 * (h - 143)));
    painter.save();
    painter.setClipRect(box.adjusted(1, 1, 0, 0));
    const QImage& image = preview_image_;
    if (!image.isNull()) {
        // As high as the box allows less 10 pixels, centred; narrower when the box is.
        QSize size = image.size().scaled(box.width() - 10, box.height() - 10, Qt::KeepAspectRatio);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(box.x() + (box.width() - size.width()) / 2, 84), size), image);
    } else {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(217, 84, w - 232, int(0.4 * (h - 143) - 10.0)), preview_text_, option);
    }
    painter.restore();
}

void recovery_window_c::on_recovery_clicked()
{
    if (rows.isEmpty())
        return;
    QList<recovery_row_s> checked;
    for (const recovery_item_s& r : rows)
        if (r.checked)
            checked.append({shown_folder_, r});
    if (checked.isEmpty()) {
        warning_box(this, "recovery_check_warning", QMessageBox::Ok);
        return;
    }
    if (writer_running())
        return;
    const QString start = last_folder_.isEmpty() ? QDir::homePath() : last_folder_;
    const QString folder = choose_directory(this, translate("recovery_select"), start);
    if (folder.isEmpty())
        return;
    // Writing onto the scanned volume may overwrite the very files being brought back: the
    // user is asked, and writes there only on Yes.
    const bool on_volume = !recovery_writer_c::refusal(folder, volume).isEmpty();
    if (on_volume &&
        warning_box(this, "recovery_same_volume_warning", QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    last_folder_ = folder;
    if (!writer_) {
        writer_ = new recovery_file_c(session_);
        connect(writer_, &QThread::finished, this, &recovery_window_c::on_writer_finished, Qt::QueuedConnection);
        adopt(writer_, [] {});
    }
    writer_->folder = folder;
    writer_->on_volume = on_volume;
    writer_->rows = checked;
    writer_->outcomes.clear();
    writer_->done = 0;
    writer_->start();
}

void recovery_window_c::on_writer_finished()
{
    int written = 0, partial_count = 0;
    // A partial file is listed under what made it so: unreadable parts, parts that other
    // files took, or both.
    QStringList unreadable, in_use, failed;
    for (const recovery_outcome_s& o : writer_->outcomes) {
        if (o.partial()) {
            ++partial_count;
            if (!o.unreadable.empty())
                unreadable << QStringLiteral("%1: %2").arg(o.path, o.unreadable_text());
            if (!o.in_use.empty())
                in_use << QStringLiteral("%1: %2").arg(o.path, o.in_use_text());
        } else if (o.written()) {
            ++written;
        } else {
            failed << QStringLiteral("%1: %2").arg(o.path, o.reason);
        }
    }
    QString text = translate("recovery_written").arg(written).arg(QDir::toNativeSeparators(writer_->folder));
    const auto section = [&](const char* key, const QStringList& lines) {
        if (!lines.isEmpty())
            text += QStringLiteral("\n\n") + translate(key) + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
    };
    section("recovery_partial", unreadable);
    section("recovery_partial_in_use", in_use);
    section("recovery_failed", failed);
    if (written + partial_count > 0)
        QDesktopServices::openUrl(QUrl::fromLocalFile(writer_->folder));
    notice_box(this, text, QMessageBox::Ok);
}

void recovery_window_c::on_stop_clicked()
{
    if (start_waiting_) {
        drop_waiting_start();
        return;
    }
    session_.stop(stop_user);
    btn_stop->hide();
}

void recovery_window_c::on_pause_clicked()
{
    if (session_.running()) {
        const bool pause = !session_.paused();
        session_.set_paused(pause);
        btn_pause->setText(translate(pause ? "btn_resume" : "btn_pause"));
        return;
    }
    if (scan_busy || refuse_while_writing())
        return;
    if (volume.volume_path.isEmpty()) {
        // No volume was chosen yet: Start leads to the page that chooses one.
        main_->on_click_recovery_back();
        return;
    }
    reset_tree();
    reset_table();
    btn_pause->setText(translate("btn_pause"));
    btn_stop->show();
    restart_recovery();
}

void recovery_window_c::on_check_all(bool value)
{
    for (recovery_item_s& r : rows)
        r.checked = value ? 1 : 0;
    recovery_model_c* old = table_model_;
    table_model_ = new recovery_model_c(&rows, this);
    table_view->setModel(table_model_);
    delete old;
}

void recovery_window_c::on_sort_column(int column)
{
    table_model_->sort_by_column(column);
}

void recovery_window_c::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width(), h = height();
    btn_back->move(200, h - 49);
    btn_recovery->move(w - 300, h - 49);
    btn_pause->move(360, 29);
    btn_stop->move(470, 29);
    btn_filter->move(w - 130, 29);
    table_view->setGeometry(212, 86 + int(0.4 * (h - 143)), w - 222, int(0.6 * (h - 143)));
    tv_dirtree->setGeometry(10, 79, 193, h - 137);
}

QString recovery_window_c::status_text()
{
    // A recovery of many files takes a while: how far it has come is what matters then.
    if (writer_running())
        return translate("recovery_writing").arg(writer_->done.load()).arg(writer_->rows.size());
    if (!loaded_from_.isEmpty())
        return translate("recovery_loaded").arg(loaded_from_);
    // Said first, so that a finished scan does not look like one that hangs.
    QString state;
    if (end_key_)
        state = translate(end_key_) + QLatin1Char(' ');
    else if (scan_busy && session_.running() && session_.paused())
        state = translate("recovery_paused") + QLatin1Char(' ');
    // A deep scan counts no entries but the bytes it has gone through; a volume without a
    // file system is scanned that way without being asked for a deep scan.
    if (recovery_session_c::engine_for(volume, deep_scan != 0) == engine_kind::deep)
        return state + translate("raw_progress") + QLatin1Char(' ') +
               format_size(std::uint64_t(progress_ * double(volume.total_bytes)));
    return state + translate("recovery_reading") + QString::number(start_waiting_ ? 0 : session_.read_count());
}

void recovery_window_c::paintEvent(QPaintEvent*)
{
    if (!isVisible())
        return;
    const int w = width(), h = height();
    const int p = int(0.4 * (h - 143));
    QPainter painter(this);
    const QPixmap band(QStringLiteral(":/images/background/bai.png"));
    painter.fillRect(QRect(0, 0, w, band.height()), QBrush(band));
    painter.setPen(QColor(139, 184, 241));
    painter.drawRect(10, 13, w - 20, 60);
    painter.drawRect(212, 79, w - 222, p);

    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Verdana"), 10));
    if (loaded_from_.isEmpty()) {
        bar_.value = std::clamp(progress_, 0.0, 1.0);
        bar_.paint(painter, QRect(90, 38, 250, 12));
    }
    painter.drawText(90, 30, status_text());
    painter.fillRect(213, 80, w - 223, int(0.4 * (h - 143) - 1.0), Qt::white);
    if (preview_shown)
        paint_preview(painter, w, h);
    const std::int64_t found = found_files();
    if (found > 0) {
        painter.setPen(Qt::red);
        painter.drawText(90, 65, translate("recovery_total_files") + QLatin1Char(' ') + QString::number(found));
    }
}
