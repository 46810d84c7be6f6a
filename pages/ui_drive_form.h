#pragma once
// The drive page's form as designed; the page's constructor and resizeEvent then size and
// place it again.
#include "pages/page_look.h"

class Ui_DriveForm {
public:
    QListView* lv_drives = nullptr;
    QPushButton* btn_back = nullptr;
    QPushButton* btn_refresh = nullptr;
    QPushButton* btn_scan = nullptr;

    void setupUi(QWidget* DriveForm)
    {
        if (DriveForm->objectName().isEmpty()) {
            DriveForm->setObjectName("DriveForm");
        }
        DriveForm->resize(616, 409);
        DriveForm->setWindowTitle(QStringLiteral("Form"));
        lv_drives = make_page_list(DriveForm, "lv_drives", {40, 20, 511, 311});
        btn_back = make_page_button(DriveForm, "btn_back", {70, 370, 75, 23});
        btn_refresh = make_page_button(DriveForm, "btn_refresh", {250, 370, 75, 23}, QColor(253, 253, 253));
        btn_scan = make_page_button(DriveForm, "btn_scan", {420, 370, 75, 23});
    }
};
