#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "gui/app/GuiContext.h"
#include "schedules/ScheduleWindow.h"

namespace glowmere::gui {

// The rows of the schedule list as the logic last published them: the
// "enabled" check box, the description and the name. Ticking the check box
// asks the logic to toggle the item; the row changes when the logic says so.
class ScheduleTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ScheduleTableModel(ScheduleWindow& logic, GuiContext& context, QObject* parent);

    void setRows(std::vector<ScheduleWindow::Row> rows);
    const void* keyAt(int row) const;
    int rowOf(const void* key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    ScheduleWindow& logic_;
    GuiContext& context_;
    std::vector<ScheduleWindow::Row> rows_;
};

}  // namespace glowmere::gui
