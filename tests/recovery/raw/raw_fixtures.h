#pragma once
// Small files of each carved format, written byte by byte (compressed streams through
// zlib, libbz2 and liblzma), with content drawn from a seeded generator so that every run
// builds the same files. They need not display; their structure is what the carver reads.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <random>
#include <vector>

namespace raw_fixtures {

using rng = std::mt19937;

QByteArray random_bytes(rng& g, int n);

QByteArray jpeg(rng& g, int entropy_bytes = 3000);
QByteArray png(rng& g, int raw_bytes = 4000);

struct fixture_s {
    QString extension;
    QByteArray bytes;
};

// One file of every format the carver knows, each with its expected extension.
std::vector<fixture_s> all_formats(rng& g);

}  // namespace raw_fixtures
