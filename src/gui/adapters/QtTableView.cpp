#include "gui/adapters/QtTableView.h"

#include <QHeaderView>
#include <QSignalBlocker>

namespace glowmere::gui {

QtTableView::QtTableView(QTableWidget* table, std::vector<std::string> columns, GuiContext& context)
    : table_(table), columns_(std::move(columns)), context_(context) {
    table->setColumnCount(static_cast<int>(columns_.size()));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    QObject::connect(table, &QTableWidget::itemSelectionChanged, table, [this] {
        const auto rows = table_->selectionModel()->selectedRows();
        selected_ = rows.isEmpty() ? -1 : rows.first().row();
    });
    QObject::connect(table, &QTableWidget::itemChanged, table, [this](QTableWidgetItem* item) {
        if (filling_ || !dataSource_) return;
        const int column = item->column();
        if (column < 0 || static_cast<std::size_t>(column) >= columns_.size()) return;
        // The edited row is the selected one; the logic reads it from there.
        selected_ = item->row();
        context_.post([this, alive = std::weak_ptr<int>(alive_), text = item->text().toStdString(),
                       id = columns_[static_cast<std::size_t>(column)], row = item->row()] {
            if (alive.lock() && dataSource_) dataSource_->tableViewSetObjectValueForTableColumnRow(this, text, id, row);
        });
    });
}

void QtTableView::reloadData() {
    if (!dataSource_) return;
    std::vector<QStringList> rows;
    const int count = dataSource_->numberOfRowsInTableView(this);
    for (int r = 0; r < count; ++r) {
        QStringList cells;
        for (const auto& column : columns_)
            cells << QString::fromStdString(dataSource_->tableViewObjectValueForTableColumnRow(this, column, r));
        rows.push_back(cells);
    }
    if (selected_ >= count) selected_ = -1;
    postToGui([this, alive = std::weak_ptr<int>(alive_), rows = std::move(rows)] {
        if (alive.lock()) show(rows);
    });
}

void QtTableView::show(const std::vector<QStringList>& rows) {
    if (!table_) return;
    filling_ = true;
    const int selected = selected_;
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < rows[static_cast<std::size_t>(r)].size(); ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (!item) table_->setItem(r, c, item = new QTableWidgetItem);
            item->setText(rows[static_cast<std::size_t>(r)][c]);
        }
    if (selected >= 0 && selected < table_->rowCount())
        table_->selectRow(selected);
    else
        table_->clearSelection();
    filling_ = false;
}

void QtTableView::editColumnRowWithEventSelect(int column, int row, bool) {
    postToGui([this, alive = std::weak_ptr<int>(alive_), column, row] {
        if (!alive.lock() || !table_ || row >= table_->rowCount() || column >= table_->columnCount()) return;
        table_->selectRow(row);
        if (QTableWidgetItem* item = table_->item(row, column)) table_->editItem(item);
    });
}

}  // namespace glowmere::gui
