#pragma once

#include <QPointer>
#include <QStringList>
#include <QTableWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "gui/app/GuiContext.h"
#include "platform/TableView.h"

namespace glowmere::gui {

// platform::TableView on a QTableWidget whose columns carry identifiers. The
// logic reloads it on the controller thread, where the rows are read from
// the data source; the widget then shows them. An edit the user finishes
// goes back to the data source on the controller thread.
class QtTableView final : public platform::TableView {
public:
    QtTableView(QTableWidget* table, std::vector<std::string> columns, GuiContext& context);

    void setDataSource(platform::TableViewDataSource* dataSource) override { dataSource_ = dataSource; }
    void reloadData() override;
    int selectedRow() const override { return selected_; }
    void editColumnRowWithEventSelect(int column, int row, bool select) override;

    QTableWidget* widget() const { return table_.data(); }

private:
    void show(const std::vector<QStringList>& rows);

    QPointer<QTableWidget> table_;
    std::vector<std::string> columns_;
    GuiContext& context_;
    platform::TableViewDataSource* dataSource_ = nullptr;
    std::atomic<int> selected_{-1};
    bool filling_ = false;  // Qt thread: the widget is being filled, not edited
    // Work posted to either thread finds the table gone rather than dead.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace glowmere::gui
