#pragma once
// The record views and favourites over the result grid: the detail pane follows the grid's task,
// filter, page reloads and selection; "收藏记录(&A)..." in the grid menu copies the selected
// records into a favourites category (FavouritesDialog), and the category tree shows a
// collection made by the copy.

#include <QObject>

class QAction;

namespace sorvik::gui {

class MainWindow;
class Prompter;
class RecordViewPane;
class ResultPane;
class TaskWorkbench;

class RecordWorkbench : public QObject {
    Q_OBJECT

  public:
    // Every argument must outlive this object (the window owns it).
    RecordWorkbench(MainWindow& window, TaskWorkbench& tasks, ResultPane& results, Prompter& prompter);

    RecordViewPane* Views() const { return views_; }
    QAction* FavouritesAction() const { return favourites_; }

    // Selects the grid's row of the record (ID_) on the page shown; false when the page has none.
    bool SelectRecord(long long id);

  public slots:
    // Opens the favourites dialog for the grid's selected records.
    void CollectFavourites();

  private:
    void GridReloaded();

    MainWindow& window_;
    TaskWorkbench& tasks_;
    ResultPane& results_;
    Prompter& prompter_;
    RecordViewPane* views_;
    QAction* favourites_;
};

}  // namespace sorvik::gui
