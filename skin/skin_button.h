#pragma once
// The painted buttons of the skinned window: not widgets, just three looks, a place and an
// action that the window runs on itself when the button is released over it. The window's
// mouse handlers set the state; the button only paints the look of its state.
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <array>

template <class T>
class button_c {
public:
    using action_t = void (T::*)();

    virtual ~button_c() = default;

    // Loads the normal, hover and pressed looks and takes the place. A missing image paints
    // nothing for that look; the button still reacts to the mouse.
    virtual void setup(const QString& normal, const QString& hover, const QString& pressed, const QRect& place)
    {
        set_images(normal, hover, pressed);
        rect = place;
    }
    virtual bool contains(const QPoint& p, const QRect& window_rect) const = 0;
    virtual void paint(QPainter& painter, const QRect& window_rect) const = 0;
    virtual void set_images(const QString& normal, const QString& hover, const QString& pressed)
    {
        images = {QPixmap(normal), QPixmap(hover), QPixmap(pressed)};
    }

    std::array<QPixmap, 3> images;
    int state = 0;  // 0 normal, 1 hover, 2 pressed: the index of the look painted
    QRect rect;
    action_t action = nullptr;

protected:
    const QPixmap& current_image() const { return images[static_cast<std::size_t>(state)]; }
};

// Placed in window coordinates: a mode button at the top left.
template <class T>
class top_button_c : public button_c<T> {
public:
    bool contains(const QPoint& p, const QRect&) const override { return this->rect.contains(p); }
    void paint(QPainter& painter, const QRect&) const override
    {
        painter.drawPixmap(this->rect.topLeft(), this->current_image());
    }
};

// Placed from the window's right edge (x counts leftwards from the last column), so that it
// keeps its distance to that edge whatever the window's width.
template <class T>
class system_button_c : public button_c<T> {
public:
    bool contains(const QPoint& p, const QRect& window_rect) const override
    {
        return this->rect.contains(QPoint(window_rect.right() - p.x(), p.y()));
    }
    void paint(QPainter& painter, const QRect& window_rect) const override
    {
        painter.drawPixmap(QPoint(window_rect.right() - this->rect.right(), this->rect.top()), this->current_image());
    }
};
