#include "gui/windows/SchedulesWindow.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/adapters/QtText.h"
#include "gui/widgets/ControlWidgets.h"
#include "gui/widgets/Icons.h"
#include "gui/widgets/Throbber.h"
#include "gui/widgets/WindowPlacement.h"
#include "gui/windows/ActionEditor.h"

namespace glowmere::gui {

SchedulesWindow::SchedulesWindow(ScheduleWindow& logic, GuiContext& context)
    : QWidget(nullptr, Qt::Window),
      logic_(logic),
      context_(context),
      model_(new ScheduleTableModel(logic, context, this)),
      table_(new QTableView(this)),
      editor_(new ActionEditor(logic, context, this)),
      status_(new QLabel(this)),
      report_(new QLabel(this)),
      activity_(new QLabel(this)),
      throbber_(new Throbber(this)),
      indicator_(throbber_) {
    setWindowTitle(tr("Glowmere Schedules"));
    setWindowIcon(icons::application());
    setObjectName("schedulesWindow");

    auto* bar = new QHBoxLayout;
    auto* statusRow = new QHBoxLayout;
    makeCommandButtons(bar, statusRow);
    setUpTable();
    QHBoxLayout* activityRow = makeStatusLines();

    auto* close = new QPushButton(tr("Close"), this);
    close->setAccessibleName(tr("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttons_.push_back(close);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(table_, 1);
    layout->addLayout(statusRow);
    layout->addWidget(report_);
    layout->addLayout(activityRow);
    layout->addLayout(closeRow);
    resize(640, 400);

    mirrorLogic();
    refreshRows();
}

QPushButton* SchedulesWindow::addButton(const QString& label, std::function<void(ScheduleWindow&, const void*)> command,
                                        QHBoxLayout* into) {
    auto* b = new QPushButton(label, this);
    b->setAccessibleName(label);
    connect(b, &QPushButton::clicked, this, [this, command] {
        const void* key = selectedKey();
        post([command, key](ScheduleWindow& w) { command(w, key); });
    });
    into->addWidget(b);
    buttons_.push_back(b);
    return b;
}

void SchedulesWindow::makeCommandButtons(QHBoxLayout* bar, QHBoxLayout* statusRow) {
    addButton(
        tr("New"), [](ScheduleWindow& w, const void*) { w.create(); }, bar);
    edit_ = addButton(
        tr("Edit"), [](ScheduleWindow& w, const void* key) { w.edit(key); }, bar);
    delete_ = addButton(
        tr("Delete"), [](ScheduleWindow& w, const void* key) { w.askToDelete(key); }, bar);
    bar->addSpacing(12);
    addButton(
        tr("Check"), [](ScheduleWindow& w, const void*) { w.check(); }, bar);
    bar->addStretch();
    addButton(
        tr("Delete All…"), [](ScheduleWindow& w, const void*) { w.deleteAllFromBridge(); }, bar);
    buttons_.back()->setAccessibleName(tr("Delete All"));

    // Schedules another app left on the bridge: how many, and the way to
    // make them items.
    statusRow->addWidget(status_, 1);
    import_ = addButton(
        tr("Import"), [](ScheduleWindow& w, const void*) { w.importFromBridge(); }, statusRow);
    import_->setToolTip(tr("Make the bridge's other schedules into items of this list"));
    import_->hide();
}

void SchedulesWindow::setUpTable() {
    table_->setModel(model_);
    table_->setAccessibleName(tr("Schedules"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Interactive);
    table_->setWordWrap(false);
    table_->installEventFilter(this);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == 0) return;  // the check box
        const void* key = model_->keyAt(index.row());
        post([key](ScheduleWindow& w) { w.edit(key); });
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& index) {
        const void* key = model_->keyAt(index.row());
        post([key](ScheduleWindow& w) { w.setSelectedRow(key); });
    });
    // Edit and Delete act on the selected row: without one they are off.
    auto selectionButtons = [this] {
        const bool selected = selectedKey() != nullptr;
        edit_->setEnabled(selected);
        delete_->setEnabled(selected);
    };
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, selectionButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, selectionButtons);
    selectionButtons();
    editor_->setAnchor([this]() -> QRect {
        const int row = table_->currentIndex().row();
        const QRect cell = row >= 0 ? table_->visualRect(model_->index(row, 2)) : QRect();
        const QRect local = cell.isValid() ? cell : QRect(table_->viewport()->width() - 1, 0, 1, 1);
        return QRect(table_->viewport()->mapToGlobal(local.topLeft()), local.size());
    });
}

QHBoxLayout* SchedulesWindow::makeStatusLines() {
    for (QLabel* line : {status_, report_, activity_}) {
        line->setWordWrap(true);
        line->setTextFormat(Qt::PlainText);
    }
    status_->setObjectName("managerStatus");
    report_->setObjectName("report");
    activity_->setObjectName("activity");
    throbber_->setFixedSize(20, 20);
    auto* activityRow = new QHBoxLayout;
    activityRow->addWidget(throbber_);
    activityRow->addWidget(activity_, 1);
    throbber_->hide();
    activity_->hide();
    return activityRow;
}

void SchedulesWindow::mirrorLogic() {
    ScheduleWindow& logic = logic_;
    // The status line and its count come from two controls; either change
    // shows both.
    auto showStatus = [this] {
        const QString status = qs(logic_.tfManagerStatus().stringValue());
        const QString count = qs(logic_.tfForeignSchedules().stringValue());
        status_->setText(status.isEmpty() || count.isEmpty() ? status : status + " (" + count + ")");
        status_->setVisible(!status.isEmpty());
        import_->setVisible(!status.isEmpty());
    };
    mirrorControl(status_, logic.tfManagerStatus(), showStatus);
    mirrorControl(import_, logic.tfForeignSchedules(), showStatus);
    showStatus();
    mirrorControl(report_, logic.tfReport(), [this] { report_->setText(qs(logic_.tfReport().stringValue())); });
    // Work the bridge answers at once is not worth a flash of progress; a
    // registration or import that takes longer shows what it is doing.
    auto* delay = new QTimer(this);
    delay->setSingleShot(true);
    delay->setInterval(300);
    connect(delay, &QTimer::timeout, this, [this] {
        const bool busy = !activity_->text().isEmpty();
        activity_->setVisible(busy);
        throbber_->setVisible(busy);
    });
    mirrorControl(activity_, logic.tfActivity(), [this, delay] {
        const QString text = qs(logic_.tfActivity().stringValue());
        activity_->setText(text);
        if (text.isEmpty()) {
            delay->stop();
            activity_->hide();
            throbber_->hide();
        } else if (!activity_->isVisible() && !delay->isActive()) {
            delay->start();
        }
    });
    QPointer<SchedulesWindow> guard(this);
    logic.setRowsObserver([guard] {
        postToGui([guard] {
            if (guard) guard->refreshRows();
        });
    });
}

SchedulesWindow::~SchedulesWindow() {
    logic_.setRowsObserver(nullptr);
}

QPushButton* SchedulesWindow::button(const QString& label) const {
    for (QPushButton* b : buttons_)
        if (b->text() == label || b->accessibleName() == label) return b;
    return nullptr;
}

QString SchedulesWindow::statusText() const {
    return status_->text();
}

QString SchedulesWindow::reportText() const {
    return report_->text();
}

QString SchedulesWindow::activityText() const {
    return activity_->text();
}

bool SchedulesWindow::activityShown() const {
    return activity_->isVisible();
}

const void* SchedulesWindow::selectedKey() const {
    const auto selected = table_->selectionModel()->selectedRows();
    return selected.isEmpty() ? nullptr : model_->keyAt(selected.front().row());
}

void SchedulesWindow::post(std::function<void(ScheduleWindow&)> command) {
    ScheduleWindow* logic = &logic_;
    context_.post([logic, command = std::move(command)] { command(*logic); });
}

void SchedulesWindow::refreshRows() {
    const void* selected = selectedKey();
    model_->setRows(logic_.rows());
    const int row = model_->rowOf(selected);
    if (row >= 0 && table_->currentIndex().row() != row) table_->selectRow(row);
}

void SchedulesWindow::showWindow() {
    bringToFront(this);
}

bool SchedulesWindow::event(QEvent* event) {
    // The status line is brought up to date whenever the window becomes active.
    if (event->type() == QEvent::WindowActivate) post([](ScheduleWindow& w) { w.windowDidBecomeKey(); });
    return QWidget::event(event);
}

void SchedulesWindow::keyPressEvent(QKeyEvent* event) {
    // Escape and the desktop's Close keys close the window (the list and
    // the fields pass on what they do not use).
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SchedulesWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Backspace and Delete delete the selected row, after asking.
        if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete) {
            const void* selected = selectedKey();
            post([selected](ScheduleWindow& w) {
                w.setSelectedRow(selected);
                w.askToDelete(selected);
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace glowmere::gui
