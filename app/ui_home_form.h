#pragma once
// The home page's form as designed; the page's constructor then moves and restyles it.
#include <QLabel>
#include <QPushButton>
#include <QWidget>

class Ui_HomeForm {
public:
    QPushButton* btn_start = nullptr;
    QPushButton* btn_resume = nullptr;
    QLabel* lbl_wenzi = nullptr;

    void setupUi(QWidget* HomeForm)
    {
        if (HomeForm->objectName().isEmpty()) {
            HomeForm->setObjectName("HomeForm");
        }
        HomeForm->resize(676, 492);
        HomeForm->setWindowTitle(QStringLiteral("Form"));
        HomeForm->setStyleSheet(QString());
        btn_start = new QPushButton(HomeForm);
        btn_start->setObjectName("btn_start");
        btn_start->setGeometry(130, 190, 111, 41);
        btn_start->setStyleSheet(look(QStringLiteral("buttonscan")));
        btn_resume = new QPushButton(HomeForm);
        btn_resume->setObjectName("btn_resume");
        btn_resume->setGeometry(370, 190, 121, 41);
        btn_resume->setStyleSheet(look(QStringLiteral("buttonrecovery")));
        lbl_wenzi = new QLabel(HomeForm);
        lbl_wenzi->setObjectName("lbl_wenzi");
        lbl_wenzi->setGeometry(150, 300, 301, 91);
        lbl_wenzi->setStyleSheet(QStringLiteral("#lbl_wenzi {border-image: url(:/images/home/wenzi.png); }"));
    }

private:
    static QString look(const QString& name)
    {
        const QString image = QStringLiteral(":/images/home/") + name;
        return QStringLiteral("QPushButton{ border-image: url(") + image +
               QStringLiteral("1.png); }\nQPushButton:hover{ border-image: url(") + image +
               QStringLiteral("2.png);}\nQPushButton:pressed{  border-image: url(") + image +
               QStringLiteral("3.png);}");
    }
};
