#pragma once

#include <QFont>
#include <QString>
#include <QVariant>

namespace qrv::ui {

// What one item of the editor's item models shows, role by role.
struct ItemText {
    QString display;
    QString accessible; // what a screen reader hears when it is not the display text
    QString toolTip;
    QVariant edit;      // the value an editor in place starts from
    QVariant sort;      // Qt::UserRole: what sorting and filtering go by
    bool bold = false;  // the item to see first
};

inline QVariant roleData(const ItemText& item, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        return item.display;
    case Qt::AccessibleTextRole:
        return item.accessible.isEmpty() ? item.display : item.accessible;
    case Qt::ToolTipRole:
        return item.toolTip.isEmpty() ? QVariant() : QVariant(item.toolTip);
    case Qt::EditRole:
        return item.edit;
    case Qt::UserRole:
        return item.sort;
    case Qt::FontRole:
        if (item.bold) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    default:
        return {};
    }
}

} // namespace qrv::ui
