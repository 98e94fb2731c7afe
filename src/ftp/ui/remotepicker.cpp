// The list of the host's folder.
#include "ftp/ui/remotepicker.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "qtedge/qtext.h"

RemotePicker::RemotePicker(QWidget* parent, const QString& folder, const std::vector<ftp::RemoteEntry>& entries)
    : QDialog(parent), entries_(entries) {
    setObjectName("RemoteList");
    setWindowTitle(QStringLiteral("サーバーのファイル一覧"));
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(QStringLiteral("%1 のファイル（%2 件）。取得するものを選んでください（Ctrl・Shift で複数）。")
                                   .arg(folder.isEmpty() ? QStringLiteral("ログイン先") : folder)
                                   .arg(entries.size()),
                               this);
    caption->setTextFormat(Qt::PlainText);
    caption->setWordWrap(true);
    layout->addWidget(caption);
    FileList = new QTreeWidget(this);
    FileList->setObjectName("FileList");
    FileList->setHeaderLabels({QStringLiteral("日時"), QStringLiteral("サイズ"), QStringLiteral("名前")});
    FileList->setRootIsDecorated(false);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setUniformRowHeights(true);  // a hundred thousand rows stay quick
    const QLocale locale = QLocale::system();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<int>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ftp::RemoteEntry& e = entries[i];
        auto* item = new QTreeWidgetItem({QString::fromStdString(ftp::shownTime(e)),
                                          e.size >= 0 ? locale.toString(e.size) : QStringLiteral("-"),
                                          toQString(ftp::shownName(e.name))});
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (!e.usable) {
            item->setFlags(Qt::NoItemFlags);
            item->setToolTip(2, QStringLiteral("この名前はファイル名に使えないため取得できません"));
        }
        items.push_back(item);
    }
    FileList->addTopLevelItems(items);
    FileList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(FileList);
    auto* buttons = new QDialogButtonBox(this);
    PickButton = buttons->addButton(QStringLiteral("取得(&G)"), QDialogButtonBox::AcceptRole);
    PickButton->setObjectName("PickButton");
    PickButton->setDefault(true);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole)->setObjectName("CloseListButton");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FileList, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(FileList, &QTreeWidget::itemSelectionChanged, this,
            [this] { PickButton->setEnabled(!FileList->selectedItems().isEmpty()); });
    PickButton->setEnabled(false);
    if (FileList->topLevelItemCount() > 0) FileList->setCurrentItem(FileList->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    FileList->setFocus();
    resize(560, 420);
}

std::vector<std::string> RemotePicker::picked() const {
    std::vector<std::string> names;
    for (int i = 0; i < FileList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = FileList->topLevelItem(i);
        if (!item->isSelected()) continue;
        const auto& e = entries_[static_cast<std::size_t>(item->data(0, Qt::UserRole).toULongLong())];
        if (e.usable) names.push_back(e.name);
    }
    return names;
}
