#pragma once
// A volume image for deep-scan tests: files laid at sector boundaries in a temporary file,
// with random filler between them and random slack behind each file's end.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <vector>

#include "tests/support/raw_fixtures.h"
#include "recovery/raw/raw_recovery.h"

namespace raw_fixtures {

struct laid_file_s {
    QString extension;
    QByteArray bytes;
    std::uint64_t offset = 0;
};

class raw_image {
public:
    explicit raw_image(unsigned seed = 1) : g_(seed) {}

    // Appends random sectors.
    void filler(int min_sectors, int max_sectors);
    // Appends a file at the next sector boundary (plus lead bytes), then random slack up to
    // the following boundary.
    std::uint64_t add(const QString& extension, const QByteArray& bytes, int lead = 0);
    // Appends bytes as they are (a file cut short at the image's end, say).
    void append(const QByteArray& bytes) { content_.append(bytes); }

    // Writes the image (padded to whole sectors) and returns its volume path, IMAGE@p0.
    QString write();
    QString image_path() const { return dir_.filePath("volume.img"); }
    const QByteArray& content() const { return content_; }
    const std::vector<laid_file_s>& files() const { return files_; }
    rng& generator() { return g_; }
    QString temp_path(const QString& name) const { return dir_.filePath(name); }

private:
    rng g_;
    QTemporaryDir dir_;
    QByteArray content_;
    std::vector<laid_file_s> files_;
};

// Runs the deep engine over a volume on its own thread to the end and hands back the engine.
void run_scan(raw_recovery_c& engine, const QString& volume_path);

QByteArray read_file(const QString& path);

}  // namespace raw_fixtures
