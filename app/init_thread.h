#pragma once
// The start-up worker: lists the volumes and the drives and opens the FAT drive table while
// the window is already shown, then raises startup_done and emits init_finished(). The main
// window hands the lists to its pages on that signal; until then it reads none of them.
#include <QThread>

class init_c : public QThread {
    Q_OBJECT
signals:
    void init_finished();

protected:
    void run() override;
};
