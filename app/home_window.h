#pragma once
// The home page: the two ways into a file recovery (scan a volume, or resume from a saved
// scan result) over a painted band and three lines of text. Its buttons' clicks go to the
// main window, which decides the moves.
#include <QWidget>

#include "app/ui_home_form.h"

class main_window_c;

class home_window_c : public QWidget, public Ui_HomeForm {
    Q_OBJECT
public:
    explicit home_window_c(main_window_c* main_window, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    main_window_c* main_window;
};
