#include "gui/windows/AddressDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/GuiContext.h"

namespace glowmere::gui {

AddressDialog::AddressDialog(GuiContext& context, std::function<Outcome(const std::string& text)> check,
                             QWidget* parent)
    : QDialog(parent), context_(context), check_(std::move(check)) {
    setObjectName("addressDialog");
    setWindowTitle(tr("Your bridge's address"));
    setWindowModality(Qt::WindowModal);

    auto* intro = new QLabel(tr("The bridge's address is in your router's list of devices, or on the bridge's "
                                "label. Glowmere checks that a bridge answers there, then pairs with it."),
                             this);
    intro->setWordWrap(true);
    field_ = new QLineEdit(this);
    field_->setObjectName("bridgeAddressField");
    field_->setAccessibleName(tr("Bridge address"));
    field_->setPlaceholderText(tr("192.168.1.20 or host:port"));
    status_ = new QLabel(this);
    status_->setObjectName("bridgeAddressStatus");
    status_->setWordWrap(true);
    status_->hide();

    auto* buttons = new QDialogButtonBox(this);
    connect_ = buttons->addButton(tr("Connect"), QDialogButtonBox::AcceptRole);
    connect_->setAccessibleName(connect_->text());
    connect_->setDefault(true);
    connect_->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(connect_, &QPushButton::clicked, this, &AddressDialog::tryAddress);
    connect(field_, &QLineEdit::textChanged, this,
            [this](const QString& text) { connect_->setEnabled(!text.trimmed().isEmpty()); });

    auto* form = new QFormLayout;
    form->addRow(tr("Address:"), field_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    setMinimumWidth(400);
}

void AddressDialog::ask() {
    ++generation_;
    field_->clear();
    field_->setEnabled(true);
    status_->clear();
    status_->hide();
    open();
    field_->setFocus();
}

void AddressDialog::tryAddress() {
    const std::string text = field_->text().trimmed().toStdString();
    if (text.empty()) return;
    status_->setText(tr("Checking %1…").arg(field_->text().trimmed()));
    status_->show();
    connect_->setEnabled(false);
    field_->setEnabled(false);
    QPointer<AddressDialog> self(this);
    const int generation = generation_;
    context_.post([self, check = check_, text, generation] {
        Outcome outcome = check(text);
        postToGui([self, outcome, generation] {
            if (!self || generation != self->generation_) return;
            self->field_->setEnabled(true);
            self->connect_->setEnabled(true);
            if (outcome.taken) {
                self->accept();
                return;
            }
            self->status_->setText(QString::fromStdString(outcome.message));
            self->field_->selectAll();
            self->field_->setFocus();
        });
    });
}

}  // namespace glowmere::gui
