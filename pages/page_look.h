#pragma once
// What the drive, volume and partition pages share in their looks: the push buttons with the
// page-button images, the framed list, the light band across the top, and the painted rows'
// ground (even rows tinted, the selected row blue, 30 pixels high).
#include <QColor>
#include <QListView>
#include <QPushButton>
#include <QStyleOptionViewItem>

class QPainter;

// A page push button as designed: Arial 11 bold, white text (`text` when active or
// inactive, grey when disabled), the three looks of the page-button images.
void style_page_button(QPushButton* button, const QColor& text = QColor(255, 255, 255));

// A list with a one-pixel light-blue frame and per-pixel vertical scrolling.
void style_page_list(QListView* list);

// The light band from (0, 0), `width` wide and as high as its image, tiled with it.
void paint_page_band(QPainter& painter, int width);

// The page's heading: the band, then the translated "volume_select" at (23, 30) in Arial 12.
void paint_select_heading(QPainter& painter, int width);

// Places the three buttons along the bottom and the list above them, for a page of w x h.
void place_list_page(int w, int h, QPushButton* back, QPushButton* refresh, QPushButton* scan, QListView* list);

// Even rows get a light tint and the selected row the selection blue.
void paint_row_ground(QPainter& painter, const QStyleOptionViewItem& option, int row);

// Every painted row is the view's width by 30 pixels.
inline QSize row_size(const QStyleOptionViewItem& option)
{
    return {option.rect.width(), 30};
}

// x = width * share, truncated toward zero, as the rows place their columns.
inline int share_of(int width, double share)
{
    return static_cast<int>(width * share);
}

// A push button of a page's form: named, placed as designed and styled as above.
QPushButton* make_page_button(QWidget* form, const char* name, const QRect& geometry,
                              const QColor& text = QColor(255, 255, 255));
// A list view of a page's form: named, placed as designed and styled as above.
QListView* make_page_list(QWidget* form, const char* name, const QRect& geometry);

// Gives `view` the new model `next` in place of `current` (which is released with its
// selection model) and remembers it in `current`.
template <typename model_t>
void replace_model(QAbstractItemView* view, model_t*& current, model_t* next)
{
    QItemSelectionModel* old_selection = view->selectionModel();
    view->setModel(next);
    delete old_selection;
    delete current;
    current = next;
}

// The list pages' three buttons: 100 x 30, with the translated Back, Scan and Refresh.
void size_and_name_list_buttons(QPushButton* back, QPushButton* refresh, QPushButton* scan);

// `text` shortened in its middle to fit `width` pixels in the painter's font, so a long path
// keeps its start and its end and does not run into the next column.
QString fit_text(const QPainter& painter, const QString& text, int width);
