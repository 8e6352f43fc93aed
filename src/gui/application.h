#pragma once
// The application: command line, start-up of the core, the main window, and shut-down.
//
//   sorvik [--home DIR] [--screenshot FILE.png [--select NODE_ID] [--task ID [--record ID]] [--size WxH]]
//
// --screenshot renders the main window on the offscreen platform once it has loaded, writes the
// PNG and exits 0; such a run changes nothing in the home folder's settings. --task shows that
// task's records in the result grid (after --select, which may show the list that holds it);
// --record selects the record of that ID_ in the grid, so the detail view shows it.

#include <QSize>
#include <QString>
#include <string>

namespace sorvik::gui {

struct CommandLine {
    std::string home;
    QString screenshot;
    int selectNode = -1;
    int task = 0;
    long long record = 0;
    QSize size;
};

// Parses the arguments after the program name; false with the reason in error.
bool ParseCommandLine(const QStringList& args, CommandLine& options, QString& error);

int RunApplication(int argc, char** argv);

}  // namespace sorvik::gui
