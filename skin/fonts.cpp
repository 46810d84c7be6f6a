#include "skin/fonts.h"

#include <QFont>
#include <QStringList>

void substitute_fonts()
{
    // Metric-compatible Liberation fonts first, DejaVu for wider Latin coverage, then Noto
    // CJK for Chinese and Japanese texts of the localisation file.
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                              QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP")};
    const QStringList wide = {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP")};
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"), sans);
    QFont::insertSubstitutions(QStringLiteral("Verdana"), wide);
    QFont::insertSubstitutions(QStringLiteral("Segoe UI Symbol"), wide);
}
