#pragma once
// Moves the frameless skinned window by its title band and resizes it from its edges. Mouse
// events of the window pass through here: the window's own handlers run first (they decide
// whether a press may move the window), then the move or resize is asked of the window
// system (QWindow::startSystemMove / startSystemResize) and done by hand where the platform
// cannot (offscreen, a bare X server).
#include <QObject>
#include <QPoint>
#include <QRect>

class QMouseEvent;
class QSkinWidget;

class QSkinWidgetResizeHandler : public QObject {
    Q_OBJECT
public:
    // Presses this close to an edge resize the window.
    static constexpr int edge_width = 5;

    explicit QSkinWidgetResizeHandler(QSkinWidget* window);

    void set_moving_enabled(bool on) { moving_enabled = on; }
    bool is_moving_enabled() const { return moving_enabled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Edges edges_at(const QPoint& p) const;
    void press(QMouseEvent* event);
    void move(QMouseEvent* event);
    void update_cursor(const QPoint& p);

    QSkinWidget* window;
    bool moving_enabled = false;
    enum class drag { none, move, resize } dragging = drag::none;
    Qt::Edges drag_edges;
    QPoint press_global;
    QRect press_geometry;
};
