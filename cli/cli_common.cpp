#include "cli/cli_common.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <pthread.h>
#include <utility>
#include <unistd.h>

#include <QJsonDocument>
#include <QLocale>

#include <cstdio>

#include "volumes/volume_lookup.h"

namespace {

bool json_output = false;
bool json_printed = false;
QString last_error;
std::atomic<bool> interrupted{false};

void on_interrupt(int signal)
{
    interrupted = true;
    std::signal(signal, SIG_DFL);  // a second one ends the program
}

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

interrupt_guard_c::interrupt_guard_c()
{
    interrupted = false;
    // A parent may hand its blocked signals down (a test harness, a supervisor); the handlers
    // only help when the signals reach them.
    sigset_t set;
    sigemptyset(&set);
    for (int s : stop_signals) {
        std::signal(s, on_interrupt);
        sigaddset(&set, s);
    }
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

interrupt_guard_c::~interrupt_guard_c()
{
    for (int s : stop_signals)
        std::signal(s, SIG_DFL);
}

bool interrupt_guard_c::take()
{
    return interrupted.exchange(false);
}

QString printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // Control characters and the marks that reorder text on the screen.
        const bool hidden =
            c.category() == QChar::Other_Control || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        if (!hidden)
            out += c;
        else if (u < 0x100)
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
    }
    return out;
}

namespace {

// Whether a code point is shown two columns wide: the East Asian wide and full-width
// blocks (Hangul Jamo, CJK symbols and ideographs, kana, Hangul syllables, compatibility
// forms, full-width forms, the emoji blocks, and the supplementary ideograph planes).
bool wide(char32_t u)
{
    static constexpr std::pair<char32_t, char32_t> ranges[] = {
        {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
        {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
        {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
        {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const auto& [first, last] : ranges)
        if (u >= first && u <= last)
            return true;
    return false;
}

}  // namespace

int display_width(const QString& text)
{
    int columns = 0;
    for (const char32_t u : text.toUcs4()) {
        switch (QChar::category(u)) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_Enclosing:
        case QChar::Other_Format:
            break;
        default:
            columns += wide(u) ? 2 : 1;
        }
    }
    return columns;
}

QString cell(const QString& text, int width)
{
    const QString shown = printable(text);
    return shown + QString(std::max(0, width - display_width(shown)), QLatin1Char(' '));
}

void err_line(const QString& text)
{
    last_error = text;
    std::fprintf(stderr, "%s\n", printable(text).toLocal8Bit().constData());
    std::fflush(stderr);
}

void set_json_output(bool json)
{
    json_output = json;
}

void json_failure(int code)
{
    if (!json_output || json_printed || code == exit_ok)
        return;
    QString reason = last_error;
    if (reason.startsWith(QLatin1String("vantrel-cli: ")))
        reason = reason.mid(13);
    print_json(QJsonObject{{"error", reason.isEmpty() ? QStringLiteral("failed") : reason}, {"exit_status", code}});
}

void out_line(const QString& text)
{
    std::fprintf(stdout, "%s\n", printable(text).toLocal8Bit().constData());
    std::fflush(stdout);
}

void print_json(const QJsonObject& doc)
{
    json_printed = true;
    const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

progress_line_c::progress_line_c() : tty_(::isatty(STDERR_FILENO))
{
    clock_.start();
}

void progress_line_c::print(const QString& text, bool end)
{
    const QByteArray line = printable(text).toLocal8Bit();
    if (tty_)
        std::fprintf(stderr, "\r%s\033[K%s", line.constData(), end ? "\n" : "");
    else
        std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    shown_ = tty_ && !end;
    last_ = clock_.elapsed();
}

void progress_line_c::show(const QString& text)
{
    const std::lock_guard<std::mutex> hold(lock_);
    const qint64 now = clock_.elapsed();
    if (last_ < 0 || now - last_ >= (tty_ ? 200 : 5000))
        print(text, false);
}

void progress_line_c::done(const QString& text)
{
    const std::lock_guard<std::mutex> hold(lock_);
    print(text, true);
}

void progress_line_c::above(const QString& text, bool on_stdout)
{
    const std::lock_guard<std::mutex> hold(lock_);
    if (shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        shown_ = false;
        last_ = -1;  // drawn again at the next show
    }
    if (on_stdout)
        out_line(text);
    else
        err_line(text);
}

QString duration_text(double seconds)
{
    const qint64 s = static_cast<qint64>(seconds + 0.5);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

QString human_size(std::uint64_t bytes)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 2, QLocale::DataSizeIecFormat);
}

bool load_drives(const QStringList& images)
{
    if (const QString error = use_drive_images(images); !error.isEmpty()) {
        err_line(QStringLiteral("vantrel-cli: ") + error);
        return false;
    }
    return true;
}

std::optional<drive_item_s> resolve_drive(const QString& name, const QStringList& images)
{
    return reported(find_named_drive(name, images), "drives");
}

std::optional<volume_item_s> resolve_volume(const QString& name, const QStringList& images)
{
    return reported(find_named_volume(name, images), "volumes");
}
