#pragma once
// The volume page's form as designed; the page's constructor and resizeEvent then size and
// place it again.
#include "pages/page_look.h"

class Ui_VolumeForm {
public:
    QPushButton* btn_back = nullptr;
    QPushButton* btn_refresh = nullptr;
    QPushButton* btn_scan = nullptr;
    QListView* lv_volumes = nullptr;

    void setupUi(QWidget* VolumeForm)
    {
        if (VolumeForm->objectName().isEmpty()) {
            VolumeForm->setObjectName("VolumeForm");
        }
        VolumeForm->resize(579, 420);
        VolumeForm->setWindowTitle(QStringLiteral("Vantrel"));
        btn_back = make_page_button(VolumeForm, "btn_back", {60, 370, 75, 23});
        btn_refresh = make_page_button(VolumeForm, "btn_refresh", {240, 370, 75, 23}, QColor(253, 253, 253));
        btn_scan = make_page_button(VolumeForm, "btn_scan", {410, 370, 75, 23});
        lv_volumes = make_page_list(VolumeForm, "lv_volumes", {30, 20, 511, 311});
    }
};
