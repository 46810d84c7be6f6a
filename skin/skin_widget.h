#pragma once
// The frameless main window base: it draws its own frame (shadow edges, logo, title), its
// painted title-bar and mode buttons, and shows itself as a translucent window so that the
// shadow blends with the desktop. Qt paints the child widgets (the pages) as usual;
// back_buffer holds the frame and the painted buttons only. Moving by the title band,
// resizing by the edges and maximising by a double click are handled here; the buttons'
// actions, the settings menu and the page moves they ask for are here too, with the pages
// themselves left to the derived main window. User-interface thread only.
#include <QByteArray>
#include <QList>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "skin/skin_button.h"

class QMenu;
class QTimer;
class QSkinWidgetResizeHandler;

class QSkinWidget : public QWidget {
    Q_OBJECT
public:
    using skin_button = button_c<QSkinWidget>;

    // The title band: presses at this height or above may move the window.
    static constexpr int title_band_height = 100;

    explicit QSkinWidget(QWidget* parent = nullptr);
    ~QSkinWidget() override;

    // The page moves that the mode buttons ask for (0 home, 1 volumes, 2 drives,
    // 3 partitions, 4 recovery), and giving up the recovery page's scan.
    virtual void show_page(int index) = 0;
    virtual void leave_recovery_page() = 0;

    // Button actions.
    void on_top_files();
    void on_top_partition();
    void on_top_deep_scan();
    void maximize_window();
    void restore_window();
    void minimize_window();
    void show_settings_menu();

    // Maximise to the primary screen's available area, or back to the saved geometry.
    void toggle_maximized();

    const QList<skin_button*>& painted_buttons() const { return buttons; }
    skin_button* maximized_button() const { return maximize_button; }
    QMenu* menu() const { return settings_menu; }
    bool is_restored() const { return restored; }
    const QPixmap& picture() const { return back_buffer; }

    // 0 for a normal file scan, 1 for a deep scan; set by the mode buttons.
    std::uint8_t scan_mode = 0;

signals:
    void aboutToClose();

public slots:
    void updateStyle();
    void setLayered();
    void updateAlpha();
    void on_click_close();
    void on_click_help();
    void on_click_language();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class QSkinWidgetResizeHandler;

    // The mode-button guard: false when the move must not happen.
    bool mode_button_guard();
    void create_buttons();
    void create_settings_menu();
    void repaint_buttons() { update(); }

    bool frame_dirty = true;
    QPixmap back_buffer;
    QPixmap frame_picture;  // the frame alone, redrawn when the size changed
    QSkinWidgetResizeHandler* resize_handler = nullptr;
    QList<skin_button*> buttons;
    QPixmap logo;
    skin_button* maximize_button = nullptr;
    QMenu* settings_menu = nullptr;
    QByteArray saved_geometry;
    bool restored = true;
    bool close_confirmed = false;  // the close button or Exit asked already
    std::unique_ptr<QTimer> repaint_timer;
    QPixmap edge_top, edge_bottom, edge_left, edge_right;
};

// The place of the help page shipped beside the program.
QString help_page_path();
