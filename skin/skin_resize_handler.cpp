#include "skin/skin_resize_handler.h"

#include <QMouseEvent>
#include <QWindow>

#include "skin/skin_widget.h"

QSkinWidgetResizeHandler::QSkinWidgetResizeHandler(QSkinWidget* window) : QObject(window), window(window)
{
    window->installEventFilter(this);
}

Qt::Edges QSkinWidgetResizeHandler::edges_at(const QPoint& p) const
{
    Qt::Edges edges;
    const QRect r = window->rect();
    if (p.x() < edge_width) {
        edges |= Qt::LeftEdge;
    } else if (p.x() > r.right() - edge_width) {
        edges |= Qt::RightEdge;
    }
    if (p.y() < edge_width) {
        edges |= Qt::TopEdge;
    } else if (p.y() > r.bottom() - edge_width) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

bool QSkinWidgetResizeHandler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        window->mousePressEvent(e);
        if (e->button() == Qt::LeftButton) {
            press(e);
        }
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        window->mouseMoveEvent(e);
        move(e);
        return true;
    }
    case QEvent::MouseButtonRelease:
        window->mouseReleaseEvent(static_cast<QMouseEvent*>(event));
        dragging = drag::none;
        return true;
    case QEvent::WindowActivate:
        window->update();
        return false;
    default:
        return false;
    }
}

void QSkinWidgetResizeHandler::press(QMouseEvent* event)
{
    const Qt::Edges edges = edges_at(event->position().toPoint());
    QWindow* handle = window->windowHandle();
    dragging = drag::none;
    // A press on an edge resizes whatever the window's own handler said; elsewhere the window
    // moves only where its handler allowed it (the title band outside every button).
    if (edges) {
        if (handle && handle->startSystemResize(edges)) {
            return;
        }
        dragging = drag::resize;
        drag_edges = edges;
    } else if (moving_enabled) {
        if (handle && handle->startSystemMove()) {
            return;
        }
        dragging = drag::move;
    } else {
        return;
    }
    press_global = event->globalPosition().toPoint();
    press_geometry = window->geometry();
}

void QSkinWidgetResizeHandler::move(QMouseEvent* event)
{
    if (dragging == drag::none || !(event->buttons() & Qt::LeftButton)) {
        dragging = drag::none;
        update_cursor(event->position().toPoint());
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - press_global;
    if (dragging == drag::move) {
        window->move(press_geometry.topLeft() + delta);
        return;
    }
    QRect g = press_geometry;
    const QSize min = window->minimumSize();
    if (drag_edges & Qt::LeftEdge) {
        g.setLeft(std::min(g.left() + delta.x(), g.right() + 1 - min.width()));
    }
    if (drag_edges & Qt::RightEdge) {
        g.setRight(std::max(g.right() + delta.x(), g.left() + min.width() - 1));
    }
    if (drag_edges & Qt::TopEdge) {
        g.setTop(std::min(g.top() + delta.y(), g.bottom() + 1 - min.height()));
    }
    if (drag_edges & Qt::BottomEdge) {
        g.setBottom(std::max(g.bottom() + delta.y(), g.top() + min.height() - 1));
    }
    window->setGeometry(g);
}

void QSkinWidgetResizeHandler::update_cursor(const QPoint& p)
{
    const Qt::Edges e = edges_at(p);
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (e == (Qt::LeftEdge | Qt::TopEdge) || e == (Qt::RightEdge | Qt::BottomEdge)) {
        shape = Qt::SizeFDiagCursor;
    } else if (e == (Qt::RightEdge | Qt::TopEdge) || e == (Qt::LeftEdge | Qt::BottomEdge)) {
        shape = Qt::SizeBDiagCursor;
    } else if (e & (Qt::LeftEdge | Qt::RightEdge)) {
        shape = Qt::SizeHorCursor;
    } else if (e & (Qt::TopEdge | Qt::BottomEdge)) {
        shape = Qt::SizeVerCursor;
    }
    window->setCursor(shape);
}
