#include "kit/TestMain.h"

#include <QImage>

// The dialogs lay out around these pictures, so a redrawn image must keep its exact size.
class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void compiledIn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("normal") << "normal.png" << QSize(166, 124);
        QTest::newRow("powerwall") << "powerwall.png" << QSize(166, 124);
        QTest::newRow("powerwall standing") << "powerwall_standing.png" << QSize(166, 124);
        QTest::newRow("mid camera") << "mid_camera.png" << QSize(164, 124);
        QTest::newRow("mid camera compact") << "mid_camera_tsr3.png" << QSize(164, 102);
        QTest::newRow("lock") << "lock.png" << QSize(48, 48);
    }
    void compiledIn()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QImage image(QStringLiteral(":/images/") + name);
        QCOMPARE(image.size(), size);
        if (name == QLatin1String("lock.png")) {
            QVERIFY(image.hasAlphaChannel());
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(image.pixel(24, 34)), 255);
        }
    }
};

ROOMCAL_TEST_MAIN(TestImages)
#include "tst_resultimages.moc"
