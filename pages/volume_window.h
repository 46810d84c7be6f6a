#pragma once
// The volume page: the logical volumes (the volume list, its blank first item painted as the
// header), one of which the user picks for a file scan. Its buttons' clicks go to the main
// window, which asks selected_volume() when a scan is to start; a double click on a row asks
// for the scan too. The page shows the process-wide volume list through a model that it
// replaces whenever the list is rebuilt.
#include <QList>
#include <QWidget>
#include <optional>

#include "pages/ui_volume_form.h"
#include "volumes/volume_item.h"

class main_window_c;
class volume_model_c;

class volume_window_c : public QWidget, public Ui_VolumeForm {
    Q_OBJECT
public:
    explicit volume_window_c(main_window_c* main_window, QWidget* parent = nullptr);

    // Shows `list`, which must outlive the page. No row is current afterwards.
    void set_volume_list(const QList<volume_item_s>& list);
    // Lists the volumes again, has the FAT drive table look at the drives again, and shows
    // the new list.
    void refresh();
    // The current row's item (the blank item for the header row). Without a current row it
    // says so in a box and gives nothing.
    std::optional<volume_item_s> selected_volume();

signals:
    void start_scan();

public slots:
    void on_double_clicked(const QModelIndex& index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    main_window_c* main_window;
    volume_model_c* model = nullptr;
};
