#pragma once
// A page that is not built yet: a white page with its name and a Back button, so that the
// main window's moves can be walked through before the page's own content exists.
#include <QPushButton>
#include <QWidget>

class placeholder_page_c : public QWidget {
    Q_OBJECT
public:
    placeholder_page_c(const QString& object_name, const QString& title, QWidget* parent = nullptr);

    QPushButton* btn_back;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title;
};
