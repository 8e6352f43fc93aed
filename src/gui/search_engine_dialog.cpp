#include "gui/search_engine_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>
#include <mutex>

#include "gui/gb_qstring.h"
#include "gui/prompter.h"
#include "store/database.h"
#include "store/task_table.h"
#include "workbench/script_editor.h"

namespace sorvik::gui {

SearchEngineDialog::SearchEngineDialog(int taskId, Prompter& prompter, QWidget* parent)
    : QDialog(parent), taskId_(taskId), prompter_(prompter) {
    setObjectName(QStringLiteral("searchEngineDialog"));
    setWindowTitle(FromGb("选择搜索引擎"));
    std::string script;
    {
        std::scoped_lock lock(g_csDatabase);
        script = CTaskTable().ReadTaskScript(taskId);
    }
    const SearchEngineChoice choice = ReadSearchEngineChoice(script);
    engines_ = new QListWidget(this);
    engines_->setObjectName(QStringLiteral("engines"));
    for (size_t i = 0; i < choice.names.size(); ++i) {
        auto* item = new QListWidgetItem(FromGb(choice.names[i]), engines_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(choice.checked[i] ? Qt::Checked : Qt::Unchecked);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SearchEngineDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(engines_, 1);
    layout->addWidget(buttons);
}

void SearchEngineDialog::accept() {
    std::vector<std::string> chosen;
    for (int i = 0; i < engines_->count(); ++i) {
        if (engines_->item(i)->checkState() == Qt::Checked)
            chosen.push_back(ToGb(engines_->item(i)->text()));
    }
    std::string error;
    if (!StoreSearchEngineChoice(taskId_, chosen, error)) {
        prompter_.ShowMessage(error);
        return;
    }
    QDialog::accept();
}

}  // namespace sorvik::gui
