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

void setAnswer(FakeIOManager& io, const QString& name, const QString& value)
{
    if (value == Unreadable)
        io.fail(name);
    else
        io.answer(name, value);
}

// A rotation by `degrees` about the z axis, row by row.
QString aboutZ(double degrees)
{
    const double a = degrees / 57.29577951308232;
    return QString::asprintf("%.12f %.12f 0 %.12f %.12f 0 0 0 1", std::cos(a), -std::sin(a),
                             std::sin(a), std::cos(a));
}
} // namespace

class TestRoomAdjustment : public QObject
{
    Q_OBJECT

private slots:
    void fieldsKeepPositions_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("count");
        QTest::addColumn<QVector<double>>("expected");
        QTest::newRow("plain") << "1.5 -2 3e-3" << 3 << QVector<double>{1.5, -2, 0.003};
        QTest::newRow("doubled blank shifts") << "1  2 3" << 3 << QVector<double>{1, 0, 2};
        QTest::newRow("short answer") << "7" << 3 << QVector<double>{7, 0, 0};
        QTest::newRow("empty answer") << "" << 2 << QVector<double>{0, 0};
        QTest::newRow("not numbers") << "x 2 1.2.3" << 3 << QVector<double>{0, 2, 0};
        QTest::newRow("extra fields ignored") << "1 2 3 4" << 2 << QVector<double>{1, 2};
        QTest::newRow("leading blank") << " 4 5" << 2 << QVector<double>{0, 4};
    }
    void fieldsKeepPositions()
    {
        QFETCH(QString, answer);
        QFETCH(int, count);
        QFETCH(QVector<double>, expected);
        QCOMPARE(RoomAdjustment::fields(answer, count), expected);
    }

    void anglesOfMatrix_data()
    {
        QTest::addColumn<QVector<double>>("matrix");
        QTest::addColumn<double>("alpha");
        QTest::addColumn<double>("beta");
        QTest::addColumn<double>("gamma");
        const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
        QTest::newRow("identity") << QVector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1} << 0.0 << 0.0
                                  << 0.0;
        QTest::newRow("scaled diagonal")
            << QVector<double>{0.999, 0, 0, 0, 1, 0, 0, 0, 1} << 0.0 << 0.0 << 0.0;
        QTest::newRow("about z") << QVector<double>{c, -s, 0, s, c, 0, 0, 0, 1} << 0.0 << 0.0
                                 << 30.0;
        QTest::newRow("about x") << QVector<double>{1, 0, 0, 0, c, -s, 0, s, c} << 30.0 << 0.0
                                 << 0.0;
        QTest::newRow("about y") << QVector<double>{c, 0, s, 0, 1, 0, -s, 0, c} << 0.0 << 30.0
                                 << 0.0;
        // First row reduced to its last element: the remaining turn goes to alpha, unsigned.
        QTest::newRow("gimbal lock")
            << QVector<double>{0, 0, 1, s, c, 0, -c, s, 0} << 30.0 << 90.0 << 0.0;
        QTest::newRow("short matrix") << QVector<double>{1, 0, 0} << 0.0 << 0.0 << 0.0;
    }
    void anglesOfMatrix()
    {
        QFETCH(QVector<double>, matrix);
        QFETCH(double, alpha);
        QFETCH(double, beta);
        QFETCH(double, gamma);
        const RoomAdjustment::Angles a = RoomAdjustment::anglesOf(matrix);
        QVERIFY2(std::abs(a.alpha - alpha) < 1e-9, qPrintable(QString::number(a.alpha)));
        QVERIFY2(std::abs(a.beta - beta) < 1e-9, qPrintable(QString::number(a.beta)));
        QVERIFY2(std::abs(a.gamma - gamma) < 1e-9, qPrintable(QString::number(a.gamma)));
    }

    void check_data()
    {
        QTest::addColumn<QString>("rotation");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<QString>("scaling");
        QTest::addColumn<bool>("free");
        QTest::addColumn<QStringList>("reads");
        const QStringList all{"getString " + Rotation, "getString " + Translation,
                              "getDouble " + Scaling};
        QTest::newRow("identity") << Identity << "0 0 0"
                                  << "1" << true << all;
        QTest::newRow("near identity") << "0.999 0 0 0 1 0 0 0 1"
                                       << "0 0 0"
                                       << "1.0" << true << all;
        QTest::newRow("turned stops at rotation") << aboutZ(0.5) << "0 0 0"
                                                  << "1" << false << QStringList(all.mid(0, 1));
        QTest::newRow("shifted") << Identity << "0 0 0.001"
                                 << "1" << false << QStringList(all.mid(0, 2));
        QTest::newRow("scaled") << Identity << "0 0 0"
                                << "1.0001" << false << all;
        QTest::newRow("scaling unreadable") << Identity << "0 0 0" << Unreadable << true << all;
        QTest::newRow("rotation unreadable") << Unreadable << "0 0 0"
                                             << "1" << true << all;
        QTest::newRow("nothing readable") << Unreadable << Unreadable << Unreadable << true << all;
        QTest::newRow("unreadable rotation, shifted") << Unreadable << "1 0 0"
                                                      << "1" << false << QStringList(all.mid(0, 2));
        // Doubled blanks move numbers to later fields: the identity turns into a tilt...
        QTest::newRow("doubled blank in rotation") << "1  0 0 0 1 0 0 0 1"
                                                   << "0 0 0"
                                                   << "1" << false << QStringList(all.mid(0, 1));
        // ...and a shift in z falls off the end of the three fields read.
        QTest::newRow("doubled blank in translation") << Identity << "0  0 5"
                                                      << "1" << true << all;
        QTest::newRow("garbage counts as zero") << Identity << "abc 0 0"
                                                << "1" << true << all;
    }
    void check()
    {
        QFETCH(QString, rotation);
        QFETCH(QString, translation);
        QFETCH(QString, scaling);
        QFETCH(bool, free);
        QFETCH(QStringList, reads);
        FakeIOManager io;
        setAnswer(io, Rotation, rotation);
        setAnswer(io, Translation, translation);
        setAnswer(io, Scaling, scaling);
        const BackendVersions v = version(0, 16, 0);
        QCOMPARE(RoomAdjustment::isFree(&io, &v), free);
        QCOMPARE(io.calls, reads);
    }

    void versionGate_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<bool>("works");
        QTest::newRow("0.16.-1") << 0 << 16 << -1 << true;
        QTest::newRow("0.16.0") << 0 << 16 << 0 << true;
        QTest::newRow("0.17.0") << 0 << 17 << 0 << true;
        QTest::newRow("1.0.0") << 1 << 0 << 0 << true;
        QTest::newRow("0.15.9") << 0 << 15 << 9 << false;
        QTest::newRow("0.16.-2") << 0 << 16 << -2 << false;
    }
    void versionGate()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(bool, works);
        FakeIOManager io;
        io.answer(Translation, QStringLiteral("5 0 0"));
        const BackendVersions v = version(major, minor, patch);
        QCOMPARE(RoomAdjustment::isFree(&io, &v), !works);
        QCOMPARE(io.callsOf(QStringLiteral("getString")).isEmpty(), !works);

        io.clearCalls();
        QWidget parent;
        RoomAdjustment::reset(&io, &v, &parent);
        QCOMPARE(io.callsOf(QStringLiteral("setParameter")).size(), works ? 3 : 0);
    }

    void withoutVersionRecordNothingHappens()
    {
        FakeIOManager io;
        io.answer(Scaling, QStringLiteral("2"));
        QVERIFY(RoomAdjustment::isFree(&io, nullptr));
        RoomAdjustment::reset(&io, nullptr, nullptr);
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
        const QStringList writes{
            "tracking extra_rotation 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 "
            "0.000000 0.000000 1.000000",
            "tracking extra_translation 0.000 0.000 0.000", "tracking extra_scaling 1.0000"};
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

        QCOMPARE(io.callsOf(QStringLiteral("setParameter")),
                 failing < 0 ? writes : QStringList(writes.mid(0, failing + 1)));
        QCOMPARE(driver.stepsTaken(), failing < 0 ? 0 : 1);
        QVERIFY(driver.errors().isEmpty());
        QCOMPARE(text, warning);
        if (failing >= 0) {
            QCOMPARE(title, QStringLiteral("Room adjustment"));
            QCOMPARE(icon, QMessageBox::Warning);
        }
    }
};

ROOMCAL_TEST_MAIN(TestRoomAdjustment)
#include "tst_roomadjustment.moc"
