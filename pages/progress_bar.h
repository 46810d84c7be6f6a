#pragma once
// The painted progress bar of the partition and recovery pages: a track of one colour, the
// done share filled with a textured brush, and the share as a whole percentage on top.
// Owned by its page; user-interface thread only.
#include <QBrush>
#include <QColor>
#include <QObject>
#include <QPixmap>

class QPainter;

class progress_bar_c : public QObject {
    Q_OBJECT
public:
    QPixmap image;
    QBrush brush;
    QColor colour;
    double value = 0.0;  // the share shown, 0.0 to 1.0

    // Loads the fill's picture from `image_path`, takes `track` for the empty part, and
    // starts at 0.
    void set_look(const QString& image_path, const QColor& track);
    void paint(QPainter& painter, const QRect& rect) const;
};
