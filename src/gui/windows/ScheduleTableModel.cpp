#include "gui/windows/ScheduleTableModel.h"

#include "gui/adapters/QtText.h"

namespace glowmere::gui {

ScheduleTableModel::ScheduleTableModel(ScheduleWindow& logic, GuiContext& context, QObject* parent)
    : QAbstractTableModel(parent), logic_(logic), context_(context) {}

void ScheduleTableModel::setRows(std::vector<ScheduleWindow::Row> rows) {
    if (rows.size() == rows_.size()) {
        rows_ = std::move(rows);
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, 2));
        return;
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

const void* ScheduleTableModel::keyAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(row)].key : nullptr;
}

int ScheduleTableModel::rowOf(const void* key) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].key == key) return static_cast<int>(i);
    return -1;
}

int ScheduleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ScheduleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant ScheduleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const auto& row = rows_[static_cast<std::size_t>(index.row())];
    if (index.column() == 0 && role == Qt::CheckStateRole) return row.enabled ? Qt::Checked : Qt::Unchecked;
    if (index.column() == 0 && role == Qt::AccessibleTextRole) return row.enabled ? tr("enabled") : tr("disabled");
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == 1) return qs(row.description);
        if (index.column() == 2) return qs(row.name);
    }
    return {};
}

QVariant ScheduleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case 0:
            return tr("On");
        case 1:
            return tr("Description");
        case 2:
            return tr("Name");
    }
    return {};
}

Qt::ItemFlags ScheduleTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool ScheduleTableModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (index.column() != 0 || role != Qt::CheckStateRole) return false;
    // Whatever state arrives, the item's is toggled; the row follows when
    // the logic has registered or deleted its bridge schedules.
    const void* key = keyAt(index.row());
    ScheduleWindow* logic = &logic_;
    context_.post(
        [logic, key] { logic->tableViewSetObjectValueForTableColumnRow(ScheduleWindow::enabledColumn, key); });
    return true;
}

}  // namespace glowmere::gui
