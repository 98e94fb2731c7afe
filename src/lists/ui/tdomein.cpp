// The reference list manager window.
#include "lists/ui/tdomein.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "analysis/behaviour.h"
#include "common/programdir.h"
#include "lists/listfile.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "qtedge/windowkeys.h"

namespace {

QWidget* listPage(QTabWidget* tabs, const char* name, const QString& caption, QListWidget* box) {
    auto* page = new QWidget;
    page->setObjectName(name);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    tabs->addTab(page, caption);
    return page;
}

QListWidget* listBox(const char* name) {
    auto* box = new QListWidget;
    box->setObjectName(name);
    box->setSelectionMode(QAbstractItemView::SingleSelection);
    box->setSortingEnabled(false);
    box->setUniformItemSizes(true);
    return box;
}

bool isEnter(const QKeyEvent* key) { return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter; }

}  // namespace

TDomein::TDomein(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      pages_{Page{nullptr, lists::EditedList(common::materiaFile(lists::kDomeinList))},
             Page{nullptr, lists::EditedList(common::materiaFile(lists::kCheckDomeinList))},
             Page{nullptr, lists::EditedList(common::materiaFile(lists::kSERobotsList))},
             Page{nullptr, lists::EditedList(common::materiaFile(lists::kExcludeList))},
             Page{nullptr, lists::EditedList(common::materiaFile(lists::kAssetList))}} {
    setObjectName("Domein");
    setWindowTitle(QStringLiteral("ドメイン管理"));

    // Parented at once, in keyboard order, so the focus chain starts at the entry box.
    InputDomein = new QLineEdit(this);
    InputDomein->setObjectName("InputDomein");
    InputDomein->setFixedWidth(145);
    InputDomein->setMaxLength(std::numeric_limits<int>::max());  // no limit of our own
    RunButton = new QPushButton(QStringLiteral("登録(&R)"), this);
    RunButton->setObjectName("RunButton");
    DelButton = new QPushButton(QStringLiteral("削除(&D)"), this);
    DelButton->setObjectName("DelButton");
    for (QPushButton* button : {RunButton, DelButton}) {
        button->setFixedWidth(70);
        button->setAutoDefault(false);
    }

    Seet = new QTabWidget(this);
    Seet->setObjectName("Seet");
    Seet->tabBar()->setExpanding(false);
    ResistList = listBox("ResistList");
    BList = listBox("BList");
    Robots = listBox("Robots");
    MyDomein = listPage(Seet, "MyDomein", QStringLiteral("自ドメイン設定"), ResistList);
    CheckDomein = listPage(Seet, "CheckDomein", QStringLiteral("監視ドメイン"), BList);
    RobotList = listPage(Seet, "RobotList", QStringLiteral("ロボット"), Robots);
    Seet->setCurrentWidget(MyDomein);
    pages_[0].box = ResistList;
    pages_[1].box = BList;
    pages_[2].box = Robots;

    // The tabs take the left part and grow with the window; the entry box and buttons keep to the
    // top right.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    buttons->addWidget(RunButton);
    buttons->addWidget(DelButton);
    auto* side = new QVBoxLayout;
    side->addWidget(InputDomein);
    side->addLayout(buttons);
    side->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 6, 4);
    layout->addWidget(Seet, 1);
    layout->addLayout(side);

    setTabOrder(InputDomein, RunButton);
    setTabOrder(RunButton, DelButton);
    setTabOrder(DelButton, Seet);

    move(310, 344);
    // Tabs cannot wrap into rows here, so the window starts wide enough to show all three captions;
    // narrower, the tab bar scrolls.
    Seet->setMinimumWidth(Seet->tabBar()->sizeHint().width() + 4);
    const int fullTabsWidth = layout->sizeHint().width();
    Seet->setMinimumWidth(0);
    resize(std::max(404, fullTabsWidth), 270);
    // The two later lists come after the three, beyond the width the window starts with.
    ExcludeList = listBox("ExcludeList");
    AssetList = listBox("AssetList");
    ExcludeHosts = listPage(Seet, "ExcludeHosts", QStringLiteral("除外アドレス"), ExcludeList);
    AssetSuffixes = listPage(Seet, "AssetSuffixes", QStringLiteral("アセット"), AssetList);
    pages_[3].box = ExcludeList;
    pages_[4].box = AssetList;
    setMinimumSize(355, 230);
    closeWithKeys(this, true);

    connect(RunButton, &QPushButton::clicked, this, &TDomein::RunButtonClick);
    connect(DelButton, &QPushButton::clicked, this, &TDomein::DelButtonClick);
    for (QWidget* w :
         {static_cast<QWidget*>(InputDomein), static_cast<QWidget*>(ResistList), static_cast<QWidget*>(BList),
          static_cast<QWidget*>(Robots), static_cast<QWidget*>(ExcludeList), static_cast<QWidget*>(AssetList)})
        w->installEventFilter(this);
}

void TDomein::FormCreate() {
    // Each list on its own: a list that fails to load must not keep the others from loading.
    for (Page& page : pages_) {
        // The two later lists may be missing where the program ran before they came: no addresses
        // are left out then, and the usual suffixes make assets, which the asset page shows.
        if (laterListMissing(page)) {
            if (&page == &pages_[4]) showDefaultAssets();
            continue;
        }
        runCommand(this, [&] {
            try {
                page.list.load();
            } catch (...) {
                showEntries(page);
                throw;
            }
            showEntries(page);
        });
    }
}

bool TDomein::laterListMissing(const Page& page) const {
    std::error_code error;
    return (&page == &pages_[3] || &page == &pages_[4]) && !std::filesystem::exists(page.list.path(), error);
}

void TDomein::showDefaultAssets() {
    QStringList items;
    for (const std::string& s : analysis::defaultAssetSuffixes()) items.append(toQString(s));
    AssetList->clear();
    AssetList->addItems(items);
}

void TDomein::startAssetFile(Page& page) {
    // The first change of a missing asset list starts from the suffixes it showed.
    if (&page != &pages_[4] || !laterListMissing(page)) return;
    lists::updateList(page.list.path(), [](common::StringList& l) {
        if (l.empty()) l = analysis::defaultAssetSuffixes();
    });
    page.list.load();
}

void TDomein::showEntries(Page& page) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(page.list.entries().size()));
    for (const std::string& entry : page.list.entries()) items.append(toQString(entry));
    page.box->clear();
    page.box->addItems(items);
}

TDomein::Page& TDomein::activePage() {
    const int index = Seet->currentIndex();
    return pages_[static_cast<std::size_t>(index < 0 ? 0 : index)];
}

void TDomein::RunButtonClick() {
    runCommand(this, [&] {
        const QString text = InputDomein->text();
        if (text.isEmpty()) return;
        Page& page = activePage();
        // Refused before anything is written: a "?" in its place would match other text.
        std::string entry = fromQStringStrict(text);
        // The window shows the file afterwards, also after a failure; the typed text stays for a retry.
        try {
            startAssetFile(page);
            page.list.append(std::move(entry));
        } catch (...) {
            showEntries(page);
            throw;
        }
        showEntries(page);
        InputDomein->clear();
        InputDomein->setFocus();
    });
}

void TDomein::DelButtonClick() {
    runCommand(this, [&] {
        Page& page = activePage();
        const QList<QListWidgetItem*> selected = page.box->selectedItems();
        std::optional<std::size_t> row;
        if (!selected.isEmpty()) row = static_cast<std::size_t>(page.box->row(selected.first()));
        // Saved even when nothing was removed: the file then takes the CR LF form. Afterwards no
        // entry is selected, so a second Delete removes nothing.
        try {
            startAssetFile(page);
            page.list.remove(row);
        } catch (...) {
            showEntries(page);
            throw;
        }
        showEntries(page);
    });
}

bool TDomein::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == InputDomein) InputDomeinKeyDown(key);
        else if (watched == ResistList) ResistListKeyDown(key);
        else if (watched == BList || watched == Robots || watched == ExcludeList || watched == AssetList)
            BListKeyDown(key);
    }
    // Not consumed: the control handles the key as it always does.
    return QWidget::eventFilter(watched, event);
}

void TDomein::proposeRobot(const QString& text) {
    Seet->setCurrentWidget(RobotList);
    InputDomein->setText(text);
    show();
    raise();
    activateWindow();
    InputDomein->setFocus();
}

void TDomein::InputDomeinKeyDown(QKeyEvent* key) {
    if (isEnter(key)) RunButton->click();
}

void TDomein::ResistListKeyDown(QKeyEvent* key) {
    if (key->key() == Qt::Key_Delete) DelButton->click();
}

void TDomein::BListKeyDown(QKeyEvent* key) {
    if (key->key() == Qt::Key_Delete) DelButton->click();
}
