// sorvik: the desktop workbench over the Sorvik core.

#include "gui/application.h"

int main(int argc, char** argv) {
    return sorvik::gui::RunApplication(argc, argv);
}
