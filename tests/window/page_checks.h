#pragma once
// Helpers of the page tests: what a list view shows, as pixels.
#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QImage>

// The view's viewport as painted now.
inline QImage painted_rows(QAbstractItemView* view)
{
    QApplication::processEvents();
    return view->viewport()->grab().toImage();
}

inline QColor pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

// Which of the two bar textures a pixel belongs to.
inline bool looks_red(const QColor& c)
{
    return c.red() > 200 && c.green() < 120;
}
inline bool looks_green(const QColor& c)
{
    return c.green() > 150 && c.red() < 120;
}
