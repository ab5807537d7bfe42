#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "result/RoomAdjustment.h"

#include <QWidget>
#include <cmath>

namespace {
const QString Rotation = QStringLiteral("tracking extra_rotation");
const QString Translation = QStringLiteral("tracking extra_translation");
const QString Scaling = QStringLiteral("tracking extra_scaling");
const QString Identity = QStringLiteral("1 0 0 0 1 0 0 0 1");
const QString Unreadable = QStringLiteral("<fail>");

BackendVersions version(int major, int minor, int patch)
{
    BackendVersions v;
    v.versionMajor = major;
    v.versionMinor = minor;
    v.versionPatch = patch;
    return v;
}
} // namespace

class TestRoomAdjustment : public QObject
{
    Q_OBJECT

private slots:
    void fieldsKeepPositions()
    {
        using V = QVector<double>;
        QCOMPARE(RoomAdjustment::fields("1.5  -2 3", 3), V({1.5, 0, -2}));
        QCOMPARE(RoomAdjustment::fields(" x 2", 4), V({0, 0, 2, 0}));
    }

    void anglesOfMatrix_data()
    {
        QTest::addColumn<QVector<double>>("m");
        QTest::addColumn<QVector<double>>("angles"); // alpha, beta, gamma
        const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
        QTest::newRow("about x") << QVector<double>{1, 0, 0, 0, c, -s, 0, s, c}
                                 << QVector<double>{30, 0, 0};
        QTest::newRow("about y") << QVector<double>{c, 0, s, 0, 1, 0, -s, 0, c}
                                 << QVector<double>{0, 30, 0};
        QTest::newRow("about z") << QVector<double>{c, -s, 0, s, c, 0, 0, 0, 1}
                                 << QVector<double>{0, 0, 30};
        // First row reduced to its last element: the remaining turn goes to alpha, unsigned.
        QTest::newRow("gimbal lock")
            << QVector<double>{0, 0, 1, s, c, 0, -c, s, 0} << QVector<double>{30, 90, 0};
    }
    void anglesOfMatrix()
    {
        QFETCH(QVector<double>, m);
        QFETCH(QVector<double>, angles);
        const RoomAdjustment::Angles a = RoomAdjustment::anglesOf(m);
        const QVector<double> got{a.alpha, a.beta, a.gamma};
        for (int i = 0; i < 3; ++i)
            QVERIFY2(std::abs(got[i] - angles[i]) < 1e-9, qPrintable(QString::number(got[i])));
    }

    void check_data()
    {
        QTest::addColumn<QString>("rotation");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("scaling");
        QTest::addColumn<bool>("free");
        QTest::addColumn<int>("reads");
        QTest::newRow("identity") << Identity << "0 0 0"
                                  << "1" << true << 3;
        QTest::newRow("angles all zero") << "0.999 0 0 0 1 0 0 0 1"
                                         << "0 0 0"
                                         << "1.0" << true << 3;
        QTest::newRow("turned") << "0.99996 -0.0087 0 0.0087 0.99996 0 0 0 1"
                                << "0 0 0"
                                << "1" << false << 1;
        QTest::newRow("shifted") << Identity << "0 0 0.001"
                                 << "1" << false << 2;
        QTest::newRow("scaled") << Identity << "0 0 0"
                                << "1.0001" << false << 3;
        QTest::newRow("scaling unreadable") << Identity << "0 0 0" << Unreadable << true << 3;
        QTest::newRow("nothing readable") << Unreadable << Unreadable << Unreadable << true << 3;
        QTest::newRow("only translation") << Unreadable << "1 0 0"
                                          << "1" << false << 2;
        // Doubled blanks shift numbers to later fields: the identity turns into a tilt, and a
        // shift in z falls off the end of the three fields read.
        QTest::newRow("doubled blank rotation") << "1  0 0 0 1 0 0 0 1"
                                                << "0 0 0"
                                                << "1" << false << 1;
        QTest::newRow("doubled blank translation") << Identity << "0  0 5"
                                                   << "1" << true << 3;
    }
    void check()
    {
        QFETCH(QString, rotation);
        QFETCH(QString, translation);
        QFETCH(QString, scaling);
        QFETCH(bool, free);
        QFETCH(int, reads);
        FakeIOManager io;
        const QStringList names{Rotation, Translation, Scaling};
        const QStringList values{rotation, translation, scaling};
        for (int i = 0; i < 3; ++i)
            values[i] == Unreadable ? io.fail(names[i]) : io.answer(names[i], values[i]);
        const BackendVersions v = version(0, 16, 0);
        QCOMPARE(RoomAdjustment::isFree(&io, &v), free);
        QCOMPARE(io.calls, QStringList({"getString " + Rotation, "getString " + Translation,
                                        "getDouble " + Scaling})
                               .mid(0, reads));
    }

    void versionGate_data()
    {
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<bool>("works");
        QTest::newRow("0.16.-1") << 16 << -1 << true;
        QTest::newRow("0.17.0") << 17 << 0 << true;
        QTest::newRow("0.15.9") << 15 << 9 << false;
        QTest::newRow("0.16.-2") << 16 << -2 << false;
    }
    void versionGate()
    {
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(bool, works);
        FakeIOManager io;
        io.answer(Translation, QStringLiteral("5 0 0"));
        const BackendVersions v = version(0, minor, patch);
        QCOMPARE(RoomAdjustment::isFree(&io, &v), !works);
        QWidget parent;
        RoomAdjustment::reset(&io, &v, &parent);
        QCOMPARE(io.calls.size(), works ? 5 : 0);

        // Without a version record the controller counts as too old.
        io.clearCalls();
        QVERIFY(RoomAdjustment::isFree(&io, nullptr));
        RoomAdjustment::reset(&io, nullptr, &parent);
        QVERIFY(io.calls.isEmpty());
    }

    void resetStopsAtFirstFailure_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QString>("warning");
        QTest::newRow("all written") << -1 << QString();
        QTest::newRow("rotation") << 0 << "Error during changing rotation angles";
        QTest::newRow("translation") << 1 << "Error during changing zero point";
        QTest::newRow("scaling") << 2 << "Error during changing scaling factor";
    }
    void resetStopsAtFirstFailure()
    {
        QFETCH(int, failing);
        QFETCH(QString, warning);
        const QStringList writes{"tracking extra_rotation 1.000000 0.000000 0.000000 0.000000 "
                                 "1.000000 0.000000 0.000000 0.000000 1.000000",
                                 "tracking extra_translation 0.000 0.000 0.000",
                                 "tracking extra_scaling 1.0000"};
        FakeIOManager io;
        if (failing >= 0)
            io.fail(writes.at(failing));
        const BackendVersions v = version(0, 16, 0);
        QWidget parent;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        ModalDriver driver(3000);
        driver.answer(QMessageBox::Ok, &title, &text, &icon);

        RoomAdjustment::reset(&io, &v, &parent);

        QCOMPARE(io.callsOf("setParameter"), writes.mid(0, failing < 0 ? 3 : failing + 1));
        QCOMPARE(driver.stepsTaken(), failing < 0 ? 0 : 1);
        QCOMPARE(text, warning);
        if (failing >= 0)
            QVERIFY(title == "Room adjustment" && icon == QMessageBox::Warning);
    }
};

ROOMCAL_TEST_MAIN(TestRoomAdjustment)
#include "tst_roomadjustment.moc"
