#pragma once
// The drive page: the physical drives (the drive list, its blank first item painted as the
// header), one of which the user picks for a partition search. Its buttons' clicks go to the
// main window, which asks selected_drive() when a search is to start. The page shows the
// process-wide drive list through a model that it replaces whenever the list is rebuilt.
#include <QList>
#include <QWidget>
#include <optional>

#include "disk/drive_item.h"
#include "pages/ui_drive_form.h"

class main_window_c;
class drive_model_c;

class drive_window_c : public QWidget, public Ui_DriveForm {
    Q_OBJECT
public:
    explicit drive_window_c(main_window_c* main_window, QWidget* parent = nullptr);

    // Shows `list` (which must outlive the page) and makes the first drive the current row.
    void set_drive_list(const QList<drive_item_s>& list);
    // Lists the drives again and shows the new list with no current row.
    void refresh();
    // The current row's item (the blank item for the header row); nothing without a current row.
    std::optional<drive_item_s> selected_drive() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void install(const QList<drive_item_s>& list);

    main_window_c* main_window;
    drive_model_c* model = nullptr;
};
