#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CameraStatus.h"

#include <QApplication>
#include <QPalette>

class TestCameraStatus : public QObject
{
    Q_OBJECT

private slots:
    void showsIdentityFromController_data();
    void showsIdentityFromController();
    void followsCameraProgress_data();
    void followsCameraProgress();
    void highlightsMostActiveWithPaletteColours();
};

void TestCameraStatus::showsIdentityFromController_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("description"); // null: the command fails
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("serialLabel");

    QTest::newRow("first camera") << 0 << "morvek2 camera c01 a b c 04711 d"
                                  << "c01"
                                  << "#04711";
    QTest::newRow("twelfth camera") << 11 << "morvek2 camera c12 a b c 999"
                                    << "c12"
                                    << "#999";
    QTest::newRow("hundredth camera") << 99 << "morvek2 camera c100 a b c 7"
                                      << "c100"
                                      << "#7";
    QTest::newRow("short answer") << 2 << "morvek2 camera c03 a"
                                  << "c03"
                                  << "#";
    QTest::newRow("command fails") << 2 << QString() << "c03"
                                   << "#";
}

void TestCameraStatus::showsIdentityFromController()
{
    QFETCH(int, index);
    QFETCH(QString, description);
    QFETCH(QString, title);
    QFETCH(QString, serialLabel);

    FakeIOManager io;
    const QString command = QStringLiteral("morvek2 get camera camera ") + title;
    if (!description.isNull())
        io.answer(command, description);
    BackendVersions versions;
    CameraStatus tile(&io, nullptr, &versions, index);

    QCOMPARE(io.calls, QStringList{QStringLiteral("sendCommand ") + command});
    QCOMPARE(tile.objectName(), QStringLiteral("CameraStatus"));
    QCOMPARE(tile.title(), title);
    QCOMPARE(tile.label_serial->text(), serialLabel);
    QCOMPARE(tile.progressBar->value(), 0);
    QCOMPARE(tile.size(), QSize(100, 69));

    tile.set_tab_number(1);
    QCOMPARE(tile.label_tab->text(), QStringLiteral("tab 02"));
    tile.set_tab_number(0);
    QCOMPARE(tile.label_tab->text(), QStringLiteral("tab 01"));
    tile.set_tab_number(11);
    QCOMPARE(tile.label_tab->text(), QStringLiteral("tab 12"));
    QCOMPARE(tile.tabNumber(), 11);
}

void TestCameraStatus::followsCameraProgress_data()
{
    QTest::addColumn<QString>("answer"); // null: the command fails
    QTest::addColumn<int>("bar");
    QTest::addColumn<bool>("green");

    // The bar starts each row at 40 so that an ignored value shows.
    const QString prefix = QStringLiteral("morvek2 status camera_progress c05 x ");
    QTest::newRow("below one percent") << prefix + "0.004" << 0 << false;
    QTest::newRow("single precision 0.29") << prefix + "0.29" << 29 << false;
    QTest::newRow("half") << prefix + "0.5" << 50 << false;
    QTest::newRow("0.999 truncated") << prefix + "0.999" << 99 << false;
    QTest::newRow("complete") << prefix + "1.0" << 100 << true;
    QTest::newRow("beyond complete is ignored by the bar") << prefix + "1.2" << 40 << false;
    QTest::newRow("negative") << prefix + "-0.3" << 0 << false;
    QTest::newRow("not a number") << prefix + "abc" << 0 << false;
    QTest::newRow("nan") << prefix + "nan" << 0 << false;
    QTest::newRow("huge") << prefix + "1e30" << 40 << false;
    QTest::newRow("field missing")
        << QStringLiteral("morvek2 status camera_progress c05") << 0 << false;
    QTest::newRow("command fails") << QString() << 0 << false;
}

void TestCameraStatus::followsCameraProgress()
{
    QFETCH(QString, answer);
    QFETCH(int, bar);
    QFETCH(bool, green);

    FakeIOManager io;
    const QString command = QStringLiteral("morvek2 get status camera_progress c05");
    if (!answer.isNull())
        io.answer(command, answer);
    CameraStatus tile(&io, nullptr, nullptr, 4);
    tile.set_progressBar(40);
    QCOMPARE(tile.progressBar->value(), 40);
    io.clearCalls();

    tile.update_progressBar();
    QCOMPARE(io.calls, QStringList{QStringLiteral("sendCommand ") + command});
    QCOMPARE(tile.progressBar->value(), bar);
    QCOMPARE(tile.progressBar->styleSheet(),
             green ? CameraStatus::GreenBarStyle : CameraStatus::BlueBarStyle);
}

void TestCameraStatus::highlightsMostActiveWithPaletteColours()
{
    QCOMPARE(CameraStatus::BlueBarStyle,
             QStringLiteral("QProgressBar{border: 1px solid grey;border-radius: 15px;}\n"
                            "QProgressBar::chunk{background: qlineargradient(x1: 0, y1: 0.5, x2: "
                            "1, y2: 0.5, stop: 0 blue, stop: 1 white);}"));
    QCOMPARE(CameraStatus::GreenBarStyle,
             QString(CameraStatus::BlueBarStyle).replace("stop: 0 blue", "stop: 0 green"));

    const QPalette original = QApplication::palette();
    QPalette palette = original;
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0x12, 0x34, 0x56));
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(0xab, 0xcd, 0xef));
    palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::red);
    QApplication::setPalette(palette);

    FakeIOManager io;
    CameraStatus tile(&io, nullptr, nullptr, 0);
    const QString plain = QStringLiteral(
        "QGroupBox{background-color: #123456;color: #abcdef;border: 0px solid gray;border-radius: "
        "5px;margin-top: 1ex;}\nQGroupBox::title {subcontrol-origin: margin;subcontrol-position: "
        "top center;padding: 0 3px;border: 1px solid gray;border-radius: 5px;background-color: "
        "#123456;color: #abcdef;}");
    const QString active = QStringLiteral(
        "QGroupBox{background-color: #123456;color: #abcdef;border: 4px solid gray;border-radius: "
        "5px;margin-top: 1ex;}\n QGroupBox::title {subcontrol-origin: margin;subcontrol-position: "
        "top center;padding: 0 3px;border: 1px solid gray;border-radius: 5px;background-color: "
        "#123456;color: #abcdef;}");
    QCOMPARE(tile.styleSheet(), plain);
    tile.set_most_active(true);
    QCOMPARE(tile.styleSheet(), active);

    // A palette change reaches the tile at its next highlight change only.
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0x00, 0x00, 0x01));
    QApplication::setPalette(palette);
    QCOMPARE(tile.styleSheet(), active);
    tile.set_most_active(false);
    QCOMPARE(tile.styleSheet(), QString(plain).replace("#123456", "#000001"));

    QApplication::setPalette(original);
}

ROOMCAL_TEST_MAIN(TestCameraStatus)
#include "tst_camerastatus.moc"
