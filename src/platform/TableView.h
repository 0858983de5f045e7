#pragma once

#include <string>

namespace glowmere::platform {

class TableView;

// Gives a table its rows and takes the cells the user edited. Called on the
// controller thread.
class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfRowsInTableView(TableView* table) = 0;
    // The text of a cell; columns are named by their identifiers.
    virtual std::string tableViewObjectValueForTableColumnRow(TableView* table, const std::string& column, int row) = 0;
    virtual void tableViewSetObjectValueForTableColumnRow(TableView* table, const std::string& value,
                                                          const std::string& column, int row) = 0;
};

// A table of text cells with one selected row at most. Its data come from
// the data source when the logic asks it to reload; an edit the user
// finishes comes back to the data source on the controller thread.
class TableView {
public:
    virtual ~TableView() = default;
    virtual void setDataSource(TableViewDataSource* dataSource) = 0;
    // Reads every row from the data source again (call on the controller thread).
    virtual void reloadData() = 0;
    // The selected row, -1 when none.
    virtual int selectedRow() const = 0;
    // Starts editing a cell, its text selected when `select`.
    virtual void editColumnRowWithEventSelect(int column, int row, bool select) = 0;
};

}  // namespace glowmere::platform
