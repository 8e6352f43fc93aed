// sorvik --screenshot: the window rendered offscreen on a fresh home and written as a PNG.

#include <QImage>
#include <QProcess>
#include <QTest>

#include "support/temp_dir.h"

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void writesThePngOfTheWindowAndExits() {
        sorvik::test::TempDir home;
        const QString png = QString::fromStdString(home.file("shot.png"));
        QProcess sorvik;
        sorvik.start(
            QStringLiteral(SORVIK_GUI_PATH),
            {QStringLiteral("--home"), QString::fromStdString(home.path()), QStringLiteral("--screenshot"),
             png, QStringLiteral("--size"), QStringLiteral("900x640")});
        QVERIFY(sorvik.waitForFinished(120000));
        QCOMPARE(sorvik.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sorvik.exitCode(), 0);
        const QImage image(png);
        QCOMPARE(image.size(), QSize(900, 640));

        // A node that does not exist can't be shown: the run fails and says so.
        sorvik.start(
            QStringLiteral(SORVIK_GUI_PATH),
            {QStringLiteral("--home"), QString::fromStdString(home.path()), QStringLiteral("--screenshot"),
             png, QStringLiteral("--select"), QStringLiteral("99999")});
        QVERIFY(sorvik.waitForFinished(120000));
        QCOMPARE(sorvik.exitCode(), 1);
        QVERIFY(sorvik.readAllStandardError().contains("99999"));
        // Nor can a task that does not exist.
        sorvik.start(QStringLiteral(SORVIK_GUI_PATH),
                     {QStringLiteral("--home"), QString::fromStdString(home.path()),
                      QStringLiteral("--screenshot"), png, QStringLiteral("--task"), QStringLiteral("4242")});
        QVERIFY(sorvik.waitForFinished(120000));
        QCOMPARE(sorvik.exitCode(), 1);
        QVERIFY(sorvik.readAllStandardError().contains("4242"));
    }
};

QTEST_GUILESS_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
