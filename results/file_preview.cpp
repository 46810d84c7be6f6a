#include "results/file_preview.h"

#include <QFile>
#include <QImageReader>
#include <QStringDecoder>

#include "recovery/recovery_session.h"
#include "recovery/recovery_writer.h"

bool preview_as_image(const QString& name)
{
    static const char* const kinds[] = {".bmp", ".gif", ".jpg",  ".jpeg", ".png", ".pbm", ".pgm",
                                        ".ppm", ".tif", ".tiff", ".xbm",  ".xpm", ".webp"};
    for (const char* k : kinds)
        if (name.endsWith(QLatin1String(k), Qt::CaseInsensitive))
            return true;
    return false;
}

namespace {

// The bytes without an incomplete UTF-8 character at their end (a read that stopped in
// the middle of one).
QByteArrayView without_cut_character(QByteArrayView bytes)
{
    qsizetype start = bytes.size();
    for (int back = 0; back < 4 && start > 0; ++back) {
        const auto c = static_cast<unsigned char>(bytes[start - 1]);
        --start;
        if ((c & 0xC0) != 0x80) {
            // A lead byte: its character needs this many bytes.
            const qsizetype need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            return bytes.size() - start < need ? bytes.first(start) : bytes;
        }
    }
    return bytes;
}

QString until_nul(QString text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

}  // namespace

QString preview_text(const QByteArray& head)
{
    const auto starts = [&](std::initializer_list<unsigned char> mark) {
        qsizetype i = 0;
        for (unsigned char m : mark)
            if (i >= head.size() || static_cast<unsigned char>(head[i++]) != m)
                return false;
        return head.size() > qsizetype(mark.size());
    };
    if (starts({0xFF, 0xFE}) || starts({0xFE, 0xFF})) {
        QStringDecoder decode(starts({0xFF, 0xFE}) ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        const QByteArrayView body = QByteArrayView(head).sliced(2);
        return until_nul(decode(body.first(body.size() & ~qsizetype(1))));
    }
    if (starts({0xEF, 0xBB, 0xBF}))
        return until_nul(QString::fromUtf8(QByteArrayView(head).sliced(3)));
    QByteArrayView bytes(head);
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes = bytes.first(nul);
    // A mark with nothing behind it is no mark: its bytes stand as they are.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(without_cut_character(bytes));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

file_preview_c::file_preview_c(recovery_session_c& session, QObject* parent)
    : QThread(parent), session_(session), dir_(QDir::tempPath() + QStringLiteral("/vantrel-preview-XXXXXX"))
{
}

file_preview_c::~file_preview_c()
{
    wait();
}

bool file_preview_c::start_row(const recovery_item_s& next)
{
    if (isRunning())
        return false;
    row = next;
    ready = false;
    image = QImage();
    text.clear();
    reason.clear();
    // Only the copy shown last is kept.
    if (!copy_path.isEmpty())
        QFile::remove(copy_path);
    copy_path.clear();
    start();
    return true;
}

void file_preview_c::run()
{
    if (!dir_.isValid()) {
        reason = QStringLiteral("no temporary folder for the preview: %1").arg(dir_.errorString());
        return;
    }
    recovery_writer_c writer(session_);
    const QList<recovery_outcome_s> outcomes =
        writer.write({recovery_row_s{QStringLiteral("/"), row}}, dir_.path(), false);
    if (outcomes.isEmpty() || !outcomes[0].written()) {
        reason = outcomes.isEmpty() ? QString() : outcomes[0].reason;
        return;
    }
    copy_path = dir_.path() + QLatin1Char('/') + outcomes[0].path;
    if (preview_as_image(row.name)) {
        QImageReader reader(copy_path);
        reader.setAutoTransform(true);  // a camera photo stands as it was taken
        // A large photo is decoded at about the size the page can show.
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > 1600 || full.height() > 1600))
            reader.setScaledSize(full.scaled(1600, 1600, Qt::KeepAspectRatio));
        image = reader.read();
        // A picture that does not decode (damaged, or overwritten since it was deleted) is
        // not shown as text: its bytes would only be noise.
        ready = !image.isNull();
        if (!ready)
            reason = reader.errorString();
        return;
    }
    QFile f(copy_path);
    if (!f.open(QIODevice::ReadOnly)) {
        reason = f.errorString();
        return;
    }
    text = preview_text(f.read(preview_text_bytes));
    ready = true;
}
