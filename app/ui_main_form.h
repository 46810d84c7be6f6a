#pragma once
// The main window's form: one grid layout without spacing or margins, whose single cell
// holds all five pages.
#include <QCoreApplication>
#include <QGridLayout>
#include <QWidget>

class Ui_MainForm {
public:
    QGridLayout* gridLayout = nullptr;

    void setupUi(QWidget* MainForm)
    {
        if (MainForm->objectName().isEmpty()) {
            MainForm->setObjectName("MainForm");
        }
        MainForm->resize(800, 600);
        MainForm->setMinimumSize(800, 600);
        MainForm->setSizePolicy(QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred));
        MainForm->setMouseTracking(true);
        gridLayout = new QGridLayout(MainForm);
        gridLayout->setObjectName("gridLayout");
        gridLayout->setSpacing(0);
        gridLayout->setContentsMargins(0, 0, 0, 0);
        MainForm->setWindowTitle(QCoreApplication::translate("MainForm", "Vantrel"));
    }
};
