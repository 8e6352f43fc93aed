#include "gui/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "gui/gb_qstring.h"
#include "gui/main_window.h"
#include "gui/record_workbench.h"
#include "gui/result_pane.h"
#include "gui/workbench_app.h"

namespace sorvik::gui {

namespace {

constexpr const char* kUsage =
    "usage: sorvik [--home DIR] [--screenshot FILE.png [--select NODE_ID] [--task ID [--record ID]] [--size "
    "WxH]]\n";

bool ParseSize(const QString& text, QSize& size) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okWidth = false;
    bool okHeight = false;
    const int width = parts[0].toInt(&okWidth);
    const int height = parts[1].toInt(&okHeight);
    if (!okWidth || !okHeight || width < 200 || height < 150 || width > 8000 || height > 8000)
        return false;
    size = QSize(width, height);
    return true;
}

bool WantsScreenshot(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0)
            return true;
    }
    return false;
}

int Fail(const QString& message, int status = 1) {
    std::fprintf(stderr, "sorvik: %s\n", message.toUtf8().constData());
    return status;
}

}  // namespace

bool ParseCommandLine(const QStringList& args, CommandLine& options, QString& error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--home") && hasValue) {
            options.home = args[++i].toStdString();
        } else if (arg == QLatin1String("--screenshot") && hasValue) {
            options.screenshot = args[++i];
        } else if (arg == QLatin1String("--select") && hasValue) {
            bool ok = false;
            options.selectNode = args[++i].toInt(&ok);
            if (!ok || options.selectNode < 0) {
                error = QStringLiteral("--select needs a node ID");
                return false;
            }
        } else if (arg == QLatin1String("--task") && hasValue) {
            bool ok = false;
            options.task = args[++i].toInt(&ok);
            if (!ok || options.task <= 0) {
                error = QStringLiteral("--task needs a task ID");
                return false;
            }
        } else if (arg == QLatin1String("--record") && hasValue) {
            bool ok = false;
            options.record = args[++i].toLongLong(&ok);
            if (!ok || options.record <= 0) {
                error = QStringLiteral("--record needs a record ID");
                return false;
            }
        } else if (arg == QLatin1String("--size") && hasValue) {
            if (!ParseSize(args[++i], options.size)) {
                error = QStringLiteral("--size needs WIDTHxHEIGHT");
                return false;
            }
        } else {
            error = QStringLiteral("unknown or incomplete option ") + arg;
            return false;
        }
    }
    if (options.record > 0 && options.task <= 0) {
        error = QStringLiteral("--record goes with --task");
        return false;
    }
    if (options.screenshot.isEmpty() &&
        (options.selectNode >= 0 || options.task > 0 || options.size.isValid())) {
        error = QStringLiteral("--select, --task and --size go with --screenshot");
        return false;
    }
    return true;
}

int RunApplication(int argc, char** argv) {
    // A screenshot needs no display: it renders on the offscreen platform.
    if (WantsScreenshot(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Sorvik"));
    QApplication::setApplicationName(QStringLiteral("Sorvik"));

    CommandLine options;
    QString error;
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!ParseCommandLine(args, options, error))
        return Fail(error + QLatin1Char('\n') + QString::fromLatin1(kUsage), 2);

    Workbench workbench;
    Workbench::Options startOptions;
    startOptions.home = options.home;
    startOptions.screenshot = !options.screenshot.isEmpty();
    switch (workbench.Start(startOptions, error)) {
        case Workbench::StartResult::kForwarded:
            return 0;
        case Workbench::StartResult::kFailed:
            // Started from a desktop, nobody reads standard error.
            if (options.screenshot.isEmpty())
                QMessageBox::critical(nullptr, QStringLiteral("Sorvik"), error);
            return Fail(error);
        case Workbench::StartResult::kStarted:
            break;
    }
    if (options.screenshot.isEmpty()) {
        workbench.Show();
        const int status = QApplication::exec();
        workbench.ShutDown();
        return status;
    }

    workbench.Show(options.size.isValid() ? options.size : QSize(1280, 800));
    int status = 0;
    if (options.selectNode >= 0 && !workbench.Window()->SelectNode(options.selectNode))
        status = Fail(QStringLiteral("no node %1 to select").arg(options.selectNode));
    if (status == 0 && options.task > 0 && !workbench.Results()->SelectTask(options.task))
        status = Fail(QStringLiteral("no task %1 to show").arg(options.task));
    if (status == 0 && options.record > 0 && !workbench.Records()->SelectRecord(options.record))
        status = Fail(QStringLiteral("no record %1 on the grid's page").arg(options.record));
    QApplication::processEvents();
    if (status == 0 && !workbench.Window()->grab().save(options.screenshot, "PNG"))
        status = Fail(QStringLiteral("can't write ") + options.screenshot);
    workbench.ShutDown();
    return status;
}

}  // namespace sorvik::gui
