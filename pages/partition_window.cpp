#include "pages/partition_window.h"

partition_window_c::partition_window_c(QWidget* parent)
    : placeholder_page_c(QStringLiteral("PartitionForm"), QStringLiteral("Partitions"), parent)
{
}
