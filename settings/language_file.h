#pragma once
// Reads the localisation file piece by piece, as a C text-mode line reader with a
// 2048-byte buffer does on the platform the file format comes from: a carriage return
// right before a line feed is dropped, and each piece holds at most 2047 bytes, ending
// after a line feed or where the limit cuts a longer line. The format is defined on these
// pieces: every piece is handled as a line of its own (settings/language_line.h).
#include <QFile>
#include <QString>
#include <string>

class language_file_c {
public:
    static constexpr std::size_t max_piece = 2047;

    explicit language_file_c(const QString& path) : file_(path) {}

    // False when the file cannot be opened for reading.
    bool open() { return file_.open(QIODevice::ReadOnly); }

    // The next piece, or false at the end of the file.
    bool next_piece(std::string& piece);

private:
    QFile file_;
};
