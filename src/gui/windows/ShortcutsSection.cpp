#include "gui/windows/ShortcutsSection.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controller/LampShortcuts.h"
#include "gui/adapters/PortalShortcuts.h"

namespace glowmere::gui {

ShortcutsSection::ShortcutsSection(PortalShortcuts* portal, QWidget* parent) : QWidget(parent), portal_(portal) {
    setObjectName("shortcuts");
    state_ = new QLabel(this);
    state_->setWordWrap(true);
    state_->setObjectName("shortcutsState");

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& shortcut : LampShortcuts::all()) {
        // Listening has no command line: it lives in the application.
        if (!shortcut.command) continue;
        const QString description = tr(shortcut.description);
        const QString command = QStringLiteral("glowmerectl ") + QString::fromUtf8(shortcut.command);
        auto* field = new QLineEdit(command, this);
        field->setReadOnly(true);
        field->setAccessibleName(tr("%1 command").arg(description));
        auto* copy = new QPushButton(tr("Copy"), this);
        copy->setAccessibleName(tr("Copy the %1 command").arg(description));
        connect(copy, &QPushButton::clicked, this, [command] { QApplication::clipboard()->setText(command); });
        grid->addWidget(new QLabel(description, this), row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(copy, row, 2);
        ++row;
    }
    auto* help = new QLabel(tr("In the desktop's keyboard settings, add a custom shortcut, paste the command and "
                               "press the keys to use. The help page has the steps for each desktop."),
                            this);
    help->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(state_);
    layout->addLayout(grid);
    layout->addWidget(help);
    layout->addStretch(1);
    if (portal_) connect(portal_, &PortalShortcuts::stateChanged, this, &ShortcutsSection::showState);
    showState();
}

QString ShortcutsSection::stateText() const {
    return state_->text();
}

void ShortcutsSection::showState() {
    state_->setText(portal_ ? portal_->stateText()
                            : tr("Without a session bus there are no global shortcuts. Bind these commands to "
                                 "keys in the desktop's keyboard settings:"));
}

}  // namespace glowmere::gui
