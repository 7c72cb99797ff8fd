#include "ftp/explorer/misc/TNewCommandsfrm.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/custom/CommandStore.h"

namespace vn {

TNewCommandsfrm::TNewCommandsfrm(bool canRun, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NewCommandsfrm"));
    setWindowTitle(QStringLiteral("New Commands"));
    auto* grid = new QGridLayout(this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    grid->addWidget(buddyLabel(QStringLiteral("C&ommands"), "CommandsLabel", ListBox1, this), 0, 0);
    grid->addWidget(ListBox1, 1, 0, 6, 1);
    Edit1 = namedLineEdit("Edit1", this);
    Edit1->setAccessibleName(QStringLiteral("Command"));
    grid->addWidget(Edit1, 7, 0);
    auto* note = new QLabel(QStringLiteral("Note : Use %[Name] for user input and %f for Selected File"), this);
    note->setObjectName(QStringLiteral("NoteLabel"));
    grid->addWidget(note, 8, 0, 1, 2);
    NewBtn = namedButton(QStringLiteral("Ne&w"), "NewBtn", this, false);
    EditBtn = namedButton(QStringLiteral("&Edit"), "EditBtn", this, false);
    OKBtn = namedButton(QStringLiteral("&OK"), "OKBtn", this, false);
    DeleteBtn = namedButton(QStringLiteral("De&lete"), "DeleteBtn", this, false);
    DoItBtn = namedButton(QStringLiteral("&Do it !"), "DoItBtn", this, false);
    ExitBtn = namedButton(QStringLiteral("E&xit"), "ExitBtn", this, false);
    int row = 1;
    for (QPushButton* b : {NewBtn, EditBtn, OKBtn, DeleteBtn, DoItBtn, ExitBtn}) grid->addWidget(b, row++, 1);

    connect(NewBtn, &QPushButton::clicked, this, &TNewCommandsfrm::NewBtnClick);
    connect(EditBtn, &QPushButton::clicked, this, &TNewCommandsfrm::EditBtnClick);
    connect(OKBtn, &QPushButton::clicked, this, &TNewCommandsfrm::OKBtnClick);
    connect(DeleteBtn, &QPushButton::clicked, this, &TNewCommandsfrm::DeleteBtnClick);
    connect(DoItBtn, &QPushButton::clicked, this, &TNewCommandsfrm::DoItBtnClick);
    connect(ExitBtn, &QPushButton::clicked, this, &TNewCommandsfrm::ExitBtnClick);
    // Choosing a command (click or keys) copies it into the edit box.
    connect(ListBox1, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item && ListBox1->isEnabled()) Edit1->setText(item->text());
    });

    DoItBtn->setEnabled(canRun);
    stopEditing();
    LlegeixComandes();
}

std::vector<std::string> TNewCommandsfrm::commands() const {
    std::vector<std::string> out;
    for (int i = 0; i < ListBox1->count(); ++i) out.push_back(toWire(ListBox1->item(i)->text()));
    return out;
}

void TNewCommandsfrm::fill(std::vector<std::string> list, const std::string& select) {
    CommandStore::sort(list);
    ListBox1->clear();
    for (const auto& c : list) {
        auto* item = new QListWidgetItem(fromWire(c), ListBox1);
        if (c == select && !select.empty() && !ListBox1->currentItem()) ListBox1->setCurrentItem(item);
    }
}

void TNewCommandsfrm::LlegeixComandes() {
    IniFile ini(configFile());
    fill(CommandStore::loadForEditor(ini), {});
}

void TNewCommandsfrm::ActualitzaComandes() {
    IniFile ini(configFile());
    if (!CommandStore::write(ini, commands()))
        uiPrompter().message(toWire(QStringLiteral("The commands could not be saved in %1.")
                                        .arg(QString::fromStdString(ini.path().string()))));
}

void TNewCommandsfrm::startEditing(const char* mode) {
    mode_ = mode;
    Edit1->setEnabled(true);
    OKBtn->setEnabled(true);
    ListBox1->setEnabled(false);
    Edit1->setFocus();
}

void TNewCommandsfrm::stopEditing() {
    Edit1->setEnabled(false);
    OKBtn->setEnabled(false);
    ListBox1->setEnabled(true);
}

void TNewCommandsfrm::NewBtnClick() { startEditing("NEW"); }
void TNewCommandsfrm::EditBtnClick() { startEditing("EDIT"); }

void TNewCommandsfrm::OKBtnClick() {
    const std::string text = toWire(Edit1->text());
    // An empty command is nothing to send; a line break could not be stored
    // and would send two commands.
    if (text.empty() || hasLineBreak(text)) {
        beeps(std::string());
        return;
    }
    auto list = commands();
    if (mode_ != "NEW") {
        if (QListWidgetItem* sel = ListBox1->currentItem()) list.erase(list.begin() + ListBox1->row(sel));
    }
    list.push_back(text);
    fill(list, text);
    stopEditing();
    ActualitzaComandes();
}

void TNewCommandsfrm::DeleteBtnClick() {
    QListWidgetItem* sel = ListBox1->currentItem();
    if (!sel || !ListBox1->isEnabled()) return;
    delete ListBox1->takeItem(ListBox1->row(sel));
    ActualitzaComandes();
}

void TNewCommandsfrm::DoItBtnClick() {
    ActualitzaComandes();
    saved_ = true;
    QListWidgetItem* sel = ListBox1->currentItem();
    chosen_ = sel ? toWire(sel->text()) : std::string();
    accept();
}

void TNewCommandsfrm::ExitBtnClick() { reject(); }

void TNewCommandsfrm::reject() {
    if (!saved_) ActualitzaComandes();
    saved_ = true;
    chosen_.clear();
    QDialog::reject();
}

} // namespace vn
