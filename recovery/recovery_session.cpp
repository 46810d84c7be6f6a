#include "recovery/recovery_session.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>

#include "recovery/fat/fat_drive_table.h"
#include "recovery/signatures/sc_library.h"

recovery_session_c::recovery_session_c(QObject* parent, const QString& config_path) : QObject(parent)
{
    sc_load_config(config_path.toLocal8Bit().constData());
    ticker_.setInterval(200);
    connect(&ticker_, &QTimer::timeout, this, [this] {
        hold_stop();
        emit progress_changed(progress(), read_count(), found_count());
    });
    // Emitted on each engine's thread; queued to this session's thread.
    for (recovery_base_c* engine : {static_cast<recovery_base_c*>(&fat_), static_cast<recovery_base_c*>(&ntfs_),
                                    static_cast<recovery_base_c*>(&deep_)})
        connect(engine, &QThread::finished, this, &recovery_session_c::on_engine_finished, Qt::QueuedConnection);
}

recovery_session_c::~recovery_session_c()
{
    // Only the current engine can be running.
    if (current_->isRunning())
        stop(stop_discard);
    while (!current_->wait(20))
        hold_stop();
}

engine_kind recovery_session_c::engine_for(const volume_item_s& volume, bool deep)
{
    if (deep)
        return engine_kind::deep;
    if (volume.file_system == QLatin1String("NTFS"))
        return engine_kind::ntfs;
    if (volume.file_system.startsWith(QLatin1String("FAT")))
        return engine_kind::fat;
    // A volume without a file system we know is read by its content alone.
    return engine_kind::deep;
}

QString recovery_session_c::engine_name(engine_kind kind)
{
    switch (kind) {
    case engine_kind::fat:
        return QStringLiteral("fat");
    case engine_kind::ntfs:
        return QStringLiteral("ntfs");
    case engine_kind::deep:
        return QStringLiteral("deep");
    case engine_kind::none:
        break;
    }
    return {};
}

bool recovery_session_c::prepare(engine_kind kind)
{
    // The FAT module reads the drive by its number in the drive list, as it is now.
    if (kind == engine_kind::fat)
        return open_fat_drives() > 0;
    return true;
}

bool recovery_session_c::start(const volume_item_s& volume, bool deep)
{
    if (running() || writing())
        return false;
    current_->reset();
    kind_ = engine_for(volume, deep);
    volume_ = volume;
    switch (kind_) {
    case engine_kind::fat:
        current_ = &fat_;
        break;
    case engine_kind::ntfs:
        current_ = &ntfs_;
        break;
    default:
        current_ = &deep_;
        break;
    }
    prepare(kind_);
    current_->reset();
    current_->set_volume(volume);
    stop_asked_ = stop_none;
    finish_due_ = true;
    current_->start(QThread::InheritPriority);
    // Without an event loop in this thread (a command line) progress is polled instead.
    if (QAbstractEventDispatcher::instance())
        ticker_.start();
    emit started();
    return true;
}

QString recovery_session_c::load(const QString& path, const QList<volume_item_s>& volumes)
{
    if (running() || writing())
        return QStringLiteral("a scan is running, or files are being written");
    const QString device = deep_.read_scan_result(path);
    if (device.isEmpty())
        return QStringLiteral("%1 is not a scan-result file that can be used").arg(path);
    volume_item_s source;
    source.volume_path = device;
    for (const volume_item_s& v : volumes)
        if (!v.volume_path.isEmpty() && v.volume_path.startsWith(device)) {
            source = v;
            break;
        }
    if (current_ != &deep_)
        current_->reset();
    current_ = &deep_;
    kind_ = engine_kind::deep;
    volume_ = source;
    deep_.set_volume(source);
    return {};
}

QString recovery_session_c::save(const QString& path)
{
    if (running() || kind_ != engine_kind::deep)
        return QStringLiteral("there are no deep scan results to save");
    if (deep_.write_scan_result(path) != 0)
        return QStringLiteral("cannot save the results to %1 (nothing found, or the file cannot be made)").arg(path);
    return {};
}

void recovery_session_c::set_paused(bool paused)
{
    current_->set_pause(paused ? 1 : 0);
}

bool recovery_session_c::paused()
{
    return current_->get_pause() != 0;
}

void recovery_session_c::stop(std::int32_t code)
{
    stop_asked_ = code;
    current_->set_stop(code);
}

void recovery_session_c::hold_stop()
{
    // An engine clears its stop flag as its thread begins; a stop asked for before that
    // moment is given again until it holds.
    if (stop_asked_ != stop_none && current_->isRunning() && current_->get_stop() != stop_asked_)
        current_->set_stop(stop_asked_);
}

bool recovery_session_c::running() const
{
    return current_->isRunning();
}

bool recovery_session_c::wait(unsigned long ms)
{
    QDeadlineTimer deadline(ms == ULONG_MAX ? QDeadlineTimer::Forever : QDeadlineTimer(qint64(ms)));
    while (!current_->wait(std::min<qint64>(20, std::max<qint64>(deadline.remainingTime(), 0)))) {
        hold_stop();
        if (deadline.hasExpired())
            return false;
    }
    // The engine's end is queued to this thread; deliver it now for a caller without an
    // event loop.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    on_engine_finished();
    return true;
}

double recovery_session_c::progress()
{
    return current_->get_progress();
}

std::int64_t recovery_session_c::read_count()
{
    return current_->get_read_count();
}

std::int64_t recovery_session_c::found_count()
{
    return current_->get_found_count();
}

bool recovery_session_c::stopped()
{
    return (stop_asked_ != stop_none ? stop_asked_ : current_->get_stop()) == stop_user;
}

QString recovery_session_c::failure() const
{
    return running() ? QString() : current_->scan_failure();
}

std::optional<result_tree_s> recovery_session_c::results() const
{
    if (running())
        return std::nullopt;
    switch (kind_) {
    case engine_kind::fat:
        return fat_result_tree(fat_);
    case engine_kind::ntfs:
        return ntfs_result_tree(ntfs_);
    case engine_kind::deep:
        return raw_result_tree(deep_);
    case engine_kind::none:
        break;
    }
    return std::nullopt;
}

void recovery_session_c::on_engine_finished()
{
    if (!finish_due_ || running())
        return;
    finish_due_ = false;
    ticker_.stop();
    // A stop asked for counts even when the engine reached its end before it saw it.
    const std::int32_t code = stop_asked_ != stop_none ? stop_asked_ : current_->get_stop();
    if (code == stop_discard)
        current_->reset();
    else if (code != stop_user)
        current_->set_progress(1.0);
    emit progress_changed(progress(), read_count(), found_count());
    emit finished(code == stop_user);
}
