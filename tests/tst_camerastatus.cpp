#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "progress/CameraStatus.h"

class TestCameraStatus : public QObject
{
    Q_OBJECT

private slots:
    void showsIdentityFromController();
    void followsCameraProgress_data();
    void followsCameraProgress();
    void highlightFollowsPaletteAtCallTime();
};

void TestCameraStatus::showsIdentityFromController()
{
    FakeIOManager io;
    io.answer("morvek2 get camera camera c12", "morvek2 camera c12 a b c 04711 d");
    CameraStatus twelfth(&io, nullptr, nullptr, 11);
    QCOMPARE(io.calls, QStringList{"sendCommand morvek2 get camera camera c12"});
    QCOMPARE(twelfth.title(), QStringLiteral("c12"));
    QCOMPARE(twelfth.label_serial->text(), QStringLiteral("#04711"));
    QCOMPARE(twelfth.progressBar->value(), 0);
    twelfth.set_tab_number(1);
    QCOMPARE(twelfth.label_tab->text(), QStringLiteral("tab 02"));

    io.answer("morvek2 get camera camera c01", "morvek2 camera c01 a");
    CameraStatus shortAnswer(&io, nullptr, nullptr, 0);
    QCOMPARE(shortAnswer.title(), QStringLiteral("c01"));
    QCOMPARE(shortAnswer.label_serial->text(), QStringLiteral("#"));
    CameraStatus failed(&io, nullptr, nullptr, 1);
    QCOMPARE(failed.label_serial->text(), QStringLiteral("#"));
}

void TestCameraStatus::followsCameraProgress_data()
{
    QTest::addColumn<QString>("fraction"); // field 5 of the answer; null: the command fails
    QTest::addColumn<int>("bar");          // the bar starts at 40, so an ignored value shows
    QTest::addColumn<bool>("green");
    QTest::newRow("0.004") << "0.004" << 0 << false;
    QTest::newRow("0.29 in single precision") << "0.29" << 29 << false;
    QTest::newRow("0.5") << "0.5" << 50 << false;
    QTest::newRow("complete") << "1.0" << 100 << true;
    QTest::newRow("beyond complete") << "1.2" << 40 << false;
    QTest::newRow("garbage") << "nan" << 0 << false;
    QTest::newRow("command fails") << QString() << 0 << false;
}

void TestCameraStatus::followsCameraProgress()
{
    QFETCH(QString, fraction);
    QFETCH(int, bar);
    QFETCH(bool, green);

    FakeIOManager io;
    if (!fraction.isNull())
        io.answer("morvek2 get status camera_progress c05",
                  "morvek2 s camera_progress c05 x " + fraction);
    CameraStatus tile(&io, nullptr, nullptr, 4);
    tile.set_progressBar(40);
    tile.update_progressBar();
    QCOMPARE(io.callsOf("sendCommand").last(),
             QStringLiteral("morvek2 get status camera_progress c05"));
    QCOMPARE(tile.progressBar->value(), bar);
    QCOMPARE(tile.progressBar->styleSheet(),
             QStringLiteral("QProgressBar{border: 1px solid grey;border-radius: 15px;}\n"
                            "QProgressBar::chunk{background: qlineargradient(x1: 0, y1: 0.5, x2: "
                            "1, y2: 0.5, stop: 0 %1, stop: 1 white);}")
                 .arg(green ? "green" : "blue"));
}

void TestCameraStatus::highlightFollowsPaletteAtCallTime()
{
    const QPalette original = QApplication::palette();
    QPalette palette = original;
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0x12, 0x34, 0x56));
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(0xab, 0xcd, 0xef));
    palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::red);
    QApplication::setPalette(palette);

    FakeIOManager io;
    CameraStatus tile(&io, nullptr, nullptr, 0);
    const QString style = QStringLiteral(
        "QGroupBox{background-color: %1;color: #abcdef;border: %2px solid gray;border-radius: "
        "5px;margin-top: 1ex;}\n%3QGroupBox::title {subcontrol-origin: margin;"
        "subcontrol-position: top center;padding: 0 3px;border: 1px solid gray;border-radius: "
        "5px;background-color: %1;color: #abcdef;}");
    QCOMPARE(tile.styleSheet(), style.arg("#123456", "0", ""));
    tile.set_most_active(true);
    QCOMPARE(tile.styleSheet(), style.arg("#123456", "4", " "));

    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0x00, 0x00, 0x01));
    QApplication::setPalette(palette);
    QCOMPARE(tile.styleSheet(), style.arg("#123456", "4", " "));
    tile.set_most_active(false);
    QCOMPARE(tile.styleSheet(), style.arg("#000001", "0", ""));
    QApplication::setPalette(original);
}

ROOMCAL_TEST_MAIN(TestCameraStatus)
#include "tst_camerastatus.moc"
