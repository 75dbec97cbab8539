#include "Look.hpp"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

namespace qrv::ui {

void applyLook(QApplication& app)
{
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);
    QFont font = QApplication::font();
    font.setPointSizeF(8.5);
    app.setFont(font);
}

} // namespace qrv::ui
