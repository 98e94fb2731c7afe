// The reference list manager window: the own domains, watched domains and robot strings.
#pragma once
#include <array>

#include <QWidget>

#include "lists/editedlist.h"

class QKeyEvent;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

class TDomein : public QWidget {
    Q_OBJECT
public:
    explicit TDomein(QWidget* parent = nullptr);

    // Creation handler: loads the three lists, each on its own, and shows each failure in its own box.
    void FormCreate();

    QLineEdit* InputDomein;
    QPushButton* RunButton;
    QPushButton* DelButton;
    QTabWidget* Seet;
    QWidget* MyDomein;
    QWidget* CheckDomein;
    QWidget* RobotList;
    QListWidget* ResistList;
    QListWidget* BList;
    QListWidget* Robots;
    // Two lists beside the three: addresses left out of the visitors and host detail, and the
    // suffixes that make a request an asset rather than a page.
    QWidget* ExcludeHosts;
    QWidget* AssetSuffixes;
    QListWidget* ExcludeList;
    QListWidget* AssetList;

    // Shows the robot page with text in the entry box, ready to register (the ranking window's
    // proposal of a robot-like agent's word).
    void proposeRobot(const QString& text);

public slots:
    // Register: appends the typed text to the active page's list and saves that list.
    void RunButtonClick();
    // Delete: removes the selected entry of the active page's list, if any, and saves that list.
    void DelButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enter in the edit box and Delete in a list press the buttons; the key then goes on as usual.
    void InputDomeinKeyDown(QKeyEvent* key);
    void ResistListKeyDown(QKeyEvent* key);
    void BListKeyDown(QKeyEvent* key);  // BList and Robots

    struct Page {
        QListWidget* box;
        lists::EditedList list;
    };
    Page& activePage();
    static void showEntries(Page& page);
    // The excluded addresses or asset suffixes, whose file is not there (yet).
    bool laterListMissing(const Page& page) const;
    void showDefaultAssets();
    void startAssetFile(Page& page);

    // In the order of the tab pages.
    std::array<Page, 5> pages_;
};
