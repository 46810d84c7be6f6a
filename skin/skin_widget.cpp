#include "skin/skin_widget.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "settings/localisation.h"
#include "settings/settings_store.h"
#include "skin/message_box.h"
#include "skin/shell_state.h"
#include "skin/skin_resize_handler.h"

namespace {

using top_button = top_button_c<QSkinWidget>;
using system_button = system_button_c<QSkinWidget>;

QString system_image(const char* name, int look)
{
    return QStringLiteral(":/images/system/%1%2.png").arg(QLatin1String(name)).arg(look);
}

}  // namespace

QString help_page_path()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("docs/help.html"));
}

QSkinWidget::QSkinWidget(QWidget* parent) : QWidget(parent)
{
    logo = QPixmap(QStringLiteral(":/images/top/logo.png"));
    create_buttons();
    create_settings_menu();

    setWindowFlag(Qt::FramelessWindowHint);
    // The translucent surface has to be asked for before the native window exists.
    setLayered();
    setWindowTitle(QStringLiteral("Vantrel"));
    back_buffer = QPixmap(size());

    repaint_timer = std::make_unique<QTimer>();
    connect(repaint_timer.get(), &QTimer::timeout, this, qOverload<>(&QWidget::update));
    repaint_timer->start(400);

    setMouseTracking(true);

    edge_top = QPixmap(QStringLiteral(":/images/system/so.png"));
    edge_bottom = QPixmap(QStringLiteral(":/images/system/su.png"));
    edge_left = QPixmap(QStringLiteral(":/images/system/sl.png"));
    edge_right = QPixmap(QStringLiteral(":/images/system/sr.png"));
    // Layouts keep clear of the frame, and at least of the title band, whose presses move
    // the window and reach the painted buttons.
    setContentsMargins(edge_left.width(), std::max(edge_top.height(), title_band_height), edge_right.width(),
                       edge_bottom.height());

    resize_handler = new QSkinWidgetResizeHandler(this);
    frame_dirty = true;
}

QSkinWidget::~QSkinWidget()
{
    qDeleteAll(buttons);
}

void QSkinWidget::create_buttons()
{
    struct top_s {
        int x;
        void (QSkinWidget::*action)();
    };
    const top_s tops[] = {
        {10, &QSkinWidget::on_top_files}, {113, &QSkinWidget::on_top_partition}, {216, &QSkinWidget::on_top_deep_scan}};
    for (int i = 0; i < 3; ++i) {
        auto* b = new top_button;
        const QString a = QString::number(i + 1);
        b->setup(top_button_image_path(a, QStringLiteral("1")), top_button_image_path(a, QStringLiteral("2")),
                 top_button_image_path(a, QStringLiteral("3")), QRect(tops[i].x, 25, 95, 70));
        b->action = tops[i].action;
        buttons.append(b);
    }

    struct system_s {
        const char* image;
        int x;
        void (QSkinWidget::*action)();
    };
    const system_s systems[] = {{"quiButton", 1, &QSkinWidget::on_click_close},
                                {"maxButton", 31, &QSkinWidget::maximize_window},
                                {"minButton", 61, &QSkinWidget::minimize_window},
                                {"settingButton", 91, &QSkinWidget::show_settings_menu}};
    for (const system_s& s : systems) {
        auto* b = new system_button;
        b->setup(system_image(s.image, 1), system_image(s.image, 2), system_image(s.image, 3), QRect(s.x, 1, 30, 21));
        b->action = s.action;
        buttons.append(b);
        if (s.action == &QSkinWidget::maximize_window) {
            maximize_button = b;
        }
    }
}

void QSkinWidget::create_settings_menu()
{
    settings_menu = new QMenu(this);
    QMenu* languages = settings_menu->addMenu(tr("Language"));
    // Listed from the last section of the localisation file to the first.
    for (qsizetype i = language_list.size() - 1; i >= 0; --i) {
        QAction* action = languages->addAction(language_list[i]);
        action->setData(int(i));
        connect(action, &QAction::triggered, this, &QSkinWidget::on_click_language);
    }
    settings_menu->addSeparator();
    connect(settings_menu->addAction(translate("menu_help")), &QAction::triggered, this, &QSkinWidget::on_click_help);
    settings_menu->addSeparator();
    connect(settings_menu->addAction(translate("menu_exit")), &QAction::triggered, this, &QSkinWidget::on_click_close);
}

bool QSkinWidget::mode_button_guard()
{
    if (!startup_done) {
        warning_box(this, "startup_warning", QMessageBox::Ok);
        return false;
    }
    if (scan_busy && warning_box(this, "back_warning", QMessageBox::Yes | QMessageBox::No) == QMessageBox::No) {
        return false;
    }
    return true;
}

void QSkinWidget::on_top_files()
{
    if (!mode_button_guard()) {
        return;
    }
    scan_mode = 0;
    leave_recovery_page();
    show_page(1);
}

void QSkinWidget::on_top_partition()
{
    if (!mode_button_guard()) {
        return;
    }
    leave_recovery_page();
    show_page(2);
}

void QSkinWidget::on_top_deep_scan()
{
    if (!mode_button_guard()) {
        return;
    }
    scan_mode = 1;
    leave_recovery_page();
    show_page(1);
}

void QSkinWidget::maximize_window()
{
    maximize_button->set_images(system_image("resumeButton", 1), system_image("resumeButton", 2),
                                system_image("resumeButton", 3));
    maximize_button->action = &QSkinWidget::restore_window;
    toggle_maximized();
}

void QSkinWidget::restore_window()
{
    maximize_button->set_images(system_image("maxButton", 1), system_image("maxButton", 2),
                                system_image("maxButton", 3));
    maximize_button->action = &QSkinWidget::maximize_window;
    toggle_maximized();
}

void QSkinWidget::minimize_window()
{
    for (skin_button* b : buttons) {
        b->state = 0;
    }
    showMinimized();
}

void QSkinWidget::show_settings_menu()
{
    settings_menu->exec(QCursor::pos());
}

void QSkinWidget::toggle_maximized()
{
    if (restored) {
        saved_geometry = saveGeometry();
        setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    } else {
        restoreGeometry(saved_geometry);
    }
    restored = !restored;
}

void QSkinWidget::on_click_close()
{
    if (scan_busy && warning_box(this, "quit_warning", QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    close_confirmed = true;
    close();
    close_confirmed = false;
}

void QSkinWidget::on_click_help()
{
    // Nothing is reported when the page cannot be opened.
    QDesktopServices::openUrl(QUrl::fromLocalFile(help_page_path()));
}

void QSkinWidget::on_click_language()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (action == nullptr) {
        return;
    }
    const int n = action->data().toInt();
    if (n == current_language_index || n < 0 || n >= language_list.size()) {
        return;
    }
    // The texts and images already shown stay as they are until the next start.
    language = language_list[n];
    current_language_index = n;
    save_settings();
    warning_box(this, "language_warning", QMessageBox::Ok);
}

void QSkinWidget::setLayered()
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void QSkinWidget::updateStyle()
{
    const int w = width();
    const int h = height();
    frame_picture = QPixmap(size());
    frame_picture.fill(Qt::transparent);
    QPainter p(&frame_picture);
    // The pages paint only what they draw; behind them the window is opaque white.
    p.fillRect(contentsRect(), Qt::white);

    const QPixmap& so = edge_top;
    const QPixmap& su = edge_bottom;
    const QPixmap& sl = edge_left;
    const QPixmap& sr = edge_right;
    const int corner = 64;
    if (!so.isNull()) {
        p.drawPixmap(QRect(w - corner, 0, corner, so.height()), so, QRect(so.width() - corner, 0, corner, so.height()));
        p.drawPixmap(QRect(0, 0, corner, so.height()), so, QRect(0, 0, corner, so.height()));
        p.drawPixmap(QRect(corner, 0, w - 2 * corner, so.height()), so,
                     QRect(corner, 0, so.width() - 2 * corner, so.height()));
    }
    if (!su.isNull()) {
        const int y = h - su.height();
        p.drawPixmap(QRect(sl.width(), y, w - sl.width() - sr.width(), su.height()), su,
                     QRect(sl.width(), 0, su.width() - sl.width() - sr.width(), su.height()));
        p.drawPixmap(QRect(0, y, sl.width(), su.height()), su, QRect(0, 0, sl.width(), su.height()));
        p.drawPixmap(QRect(w - sr.width(), y, sr.width(), su.height()), su,
                     QRect(su.width() - sr.width(), 0, sr.width(), su.height()));
    }
    const int side_height = h - so.height() - su.height();
    if (!sr.isNull()) {
        p.drawPixmap(QRect(w - sr.width(), so.height(), sr.width(), side_height), sr);
    }
    if (!sl.isNull()) {
        p.drawPixmap(QRect(0, so.height(), sl.width(), side_height), sl);
    }
    p.drawPixmap(w - 120, 24, logo);
    p.setFont(QFont(QStringLiteral("Comic Sans MS")));
    p.setPen(Qt::white);
    p.drawText(10, 20, windowTitle());
    p.end();
    frame_dirty = false;
}

void QSkinWidget::updateAlpha()
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawPixmap(0, 0, back_buffer);
}

void QSkinWidget::paintEvent(QPaintEvent*)
{
    if (frame_dirty || frame_picture.size() != size()) {
        updateStyle();
    }
    back_buffer = frame_picture;
    QPainter p(&back_buffer);
    for (const skin_button* b : buttons) {
        b->paint(p, rect());
    }
    p.end();
    updateAlpha();
}

void QSkinWidget::resizeEvent(QResizeEvent* event)
{
    frame_dirty = true;
    QWidget::resizeEvent(event);
}

void QSkinWidget::closeEvent(QCloseEvent* event)
{
    // A close that does not come through the close button or Exit (the window manager's own,
    // a key) asks the same question while a scan runs.
    if (!close_confirmed && scan_busy &&
        warning_box(this, "quit_warning", QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    emit aboutToClose();
    QWidget::closeEvent(event);
}

void QSkinWidget::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (pos.y() > title_band_height) {
        resize_handler->set_moving_enabled(false);
        return;
    }
    bool on_button = false;
    for (skin_button* b : buttons) {
        if (!b->contains(pos, rect())) {
            continue;
        }
        on_button = true;
        if (b->state != 2) {
            b->state = 2;
            repaint_buttons();
            break;
        }
    }
    resize_handler->set_moving_enabled(!on_button);
}

void QSkinWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    for (skin_button* b : buttons) {
        if (b->state == 1 || !b->contains(pos, rect())) {
            continue;
        }
        b->state = 1;
        repaint_buttons();
        event->accept();
        // The action may open a modal box or close the window: nothing of the walk is used after it.
        (this->*(b->action))();
        return;
    }
}

void QSkinWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    for (skin_button* b : buttons) {
        const bool inside = b->contains(pos, rect());
        if ((inside && b->state == 0) || (!inside && b->state != 0)) {
            b->state = inside ? 1 : 0;
            repaint_buttons();
            return;
        }
    }
}

void QSkinWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (pos.y() > title_band_height) {
        return;
    }
    for (const skin_button* b : buttons) {
        if (b->contains(pos, rect())) {
            return;
        }
    }
    (this->*(maximize_button->action))();
}
