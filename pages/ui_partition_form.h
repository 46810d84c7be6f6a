#pragma once
// The partition page's form as designed; the page's constructor and resizeEvent then size
// and place it again.
#include "pages/page_look.h"

class Ui_PartitionForm {
public:
    QPushButton* btn_repair = nullptr;
    QListView* lv_volumes = nullptr;
    QPushButton* btn_back = nullptr;
    QPushButton* btn_stop = nullptr;

    void setupUi(QWidget* PartitionForm)
    {
        if (PartitionForm->objectName().isEmpty()) {
            PartitionForm->setObjectName("PartitionForm");
        }
        PartitionForm->resize(583, 438);
        PartitionForm->setWindowTitle(QStringLiteral("Form"));
        btn_repair = make_page_button(PartitionForm, "btn_repair", {420, 380, 75, 23});
        lv_volumes = make_page_list(PartitionForm, "lv_volumes", {40, 110, 511, 231});
        btn_back = make_page_button(PartitionForm, "btn_back", {70, 380, 75, 23});
        btn_stop = make_page_button(PartitionForm, "btn_stop", {460, 50, 75, 23});
    }
};
