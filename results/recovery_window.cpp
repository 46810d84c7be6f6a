#include "results/recovery_window.h"

recovery_window_c::recovery_window_c(QWidget* parent)
    : placeholder_page_c(QStringLiteral("RecoveryForm"), QStringLiteral("Recovery"), parent)
{
}
