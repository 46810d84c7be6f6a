#pragma once
// The preview of one found file on the recovery page: the file is written through the
// engine library's writer into a private temporary folder (made once, removed with the
// preview), then read back as an image through Qt's image plug-ins (a picture that does not
// decode shows nothing), or as the beginning of a text. Writing and decoding run on the preview's own thread, so the
// page never waits on an engine; the page reads the result once finished() has been delivered to it.
//
// The thread counts as a writer of the session's results, so no new scan resets the engine
// while a preview reads it; the session lets one recovery read an engine at a time, so a
// preview and the recovery writer can run together.
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>

#include "recovery/recovery_item.h"

class recovery_session_c;

// Files above this size are not previewed: the copy would take too long for a glance.
constexpr std::uint64_t preview_max_bytes = 5 * 1024 * 1024;
// How much of a text file the preview reads.
constexpr std::int64_t preview_text_bytes = 8192;

// Whether a file of that name is previewed as an image (by its extension, in any case).
bool preview_as_image(const QString& name);

// The beginning of a file as text: after FF FE UTF-16 little-endian, after FE FF UTF-16
// big-endian, after EF BB BF UTF-8; without a mark UTF-8 when the bytes are valid UTF-8 (a
// character cut at the end of the bytes read does not count), else one Latin-1 character
// per byte. A NUL ends the text.
QString preview_text(const QByteArray& head);

class file_preview_c : public QThread {
    Q_OBJECT
public:
    explicit file_preview_c(recovery_session_c& session, QObject* parent = nullptr);
    ~file_preview_c() override;

    // Starts the preview of a row; false when the preview is still busy with another one.
    bool start_row(const recovery_item_s& row);

    // What the last finished run made (read on the page's thread after finished()).
    recovery_item_s row;
    bool ready = false;  // the file was written and read back
    QImage image;        // for a picture that loaded
    QString text;        // otherwise, the beginning of the file as text
    QString reason;      // why nothing could be shown
    QString copy_path;   // the copy in the temporary folder

    // The private folder the copies are written to.
    QString folder() const { return dir_.path(); }

protected:
    void run() override;

private:
    recovery_session_c& session_;
    QTemporaryDir dir_;
};
