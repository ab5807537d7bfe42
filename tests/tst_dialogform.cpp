#include "tst_dialog_fixture.h"

#include <QHeaderView>
#include <QMetaMethod>

using namespace DialogFixture;

class TestDialogForm : public QObject
{
    Q_OBJECT

private slots:
    void spinBoxes_data();
    void spinBoxes();
    void metaObject();
    void freshDialog_data();
    void freshDialog();
};

void TestDialogForm::spinBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("arrows");
    QTest::addColumn<double>("value");

    QTest::newRow("wand") << "dsb_wand" << 0.0 << 9999.99 << 2 << false << 410.0;
    QTest::newRow("A") << "dsb_a" << 0.0 << 100000.0 << 1 << false << 0.0;
    QTest::newRow("B") << "dsb_b" << 0.0 << 100000.0 << 1 << false << 0.0;
    QTest::newRow("C") << "dsb_c" << 0.0 << 100000.0 << 1 << false << 0.0;
    QTest::newRow("height") << "doubleSpinBox_heightAboveFloor" << -100000.0 << 100000.0 << 1
                            << false << 0.0;
    QTest::newRow("duration") << "doubleSpinBox_duration" << 0.0 << 300.0 << 0 << true << 30.0;
}

void TestDialogForm::spinBoxes()
{
    QFETCH(QString, name);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, decimals);
    QFETCH(bool, arrows);
    QFETCH(double, value);

    FakeIOManager io;
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    auto* box = dialog.findChild<QDoubleSpinBox*>(name);
    QVERIFY(box);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->decimals(), decimals);
    QCOMPARE(box->buttonSymbols() != QAbstractSpinBox::NoButtons, arrows);
    QCOMPARE(box->value(), value);
    QVERIFY(!box->whatsThis().isEmpty() && box->toolTip().isEmpty());
}

void TestDialogForm::metaObject()
{
    const QMetaObject& mo = RoomCalibrationDialog::staticMetaObject;
    QStringList methods;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        methods << mo.method(i).name();
        QCOMPARE(mo.method(i).access(),
                 i == mo.methodOffset() ? QMetaMethod::Public : QMetaMethod::Private);
    }
    QCOMPARE(methods.join(' '),
             QString("update_and_exec on_pushButton_advanced_clicked "
                     "on_doubleSpinBox_duration_valueChanged on_pushButton_durationDefault_clicked "
                     "on_pushButton_details_clicked on_tableStaticCameras_cellChanged "
                     "on_cb_calibrationSet_currentIndexChanged "
                     "on_cb_coordinateType_currentIndexChanged on_pb_calibrate_clicked "
                     "on_checkBox_recal_stateChanged on_dsb_wand_valueChanged "
                     "on_dsb_a_valueChanged on_dsb_b_valueChanged on_dsb_c_valueChanged "
                     "keyPressEvent on_pb_exit_clicked"));
}

void TestDialogForm::freshDialog_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("kits");
    QTest::addColumn<QVariantList>("firstKit"); // A, C, B, height: the controller's order

    QTest::newRow("standard") << "VANTA" << 7 << QVariantList{278.0, 163.0, 83.0, 55.0};
    QTest::newRow("longer name") << "TESSERA3" << 7 << QVariantList{278.0, 163.0, 83.0, 55.0};
    QTest::newRow("short list") << "TESSERA" << 2 << QVariantList{384.0, 225.0, 114.0, 40.0};
}

void TestDialogForm::freshDialog()
{
    QFETCH(QString, model);
    QFETCH(int, kits);
    QFETCH(QVariantList, firstKit);

    FakeIOManager io;
    BackendVersions v = version(1, 23, model);
    RoomCalibrationDialog dialog(&io, nullptr, &v);

    QVERIFY(dialog.qt_metacast("Ui::roomCalibration"));
    for (const char* name : {"roomCalibration", "page", "page_2", "l_CoordinateSystem", "label",
                             "line", "line_3", "line_staticCameras", "label_error"})
        QVERIFY2(dialog.objectName() == name || dialog.findChild<QWidget*>(name), name);
    QCOMPARE(dialog.cb_calibrationSet->count(), kits);
    QCOMPARE(dialog.cb_calibrationSet->itemText(kits - 1), QString("expert"));
    QCOMPARE(dialog.cb_calibrationSet->itemData(0).toList(), firstKit);
    // Building the list is not a user's choice: no kit reaches the fields.
    QCOMPARE(dialog.dsb_a->value(), 0.0);

    QCOMPARE(dialog.stackedWidget->currentIndex(), 1);
    QVERIFY(dialog.tableStaticCameras->isHidden() && dialog.line_staticCameras->isHidden() &&
            dialog.label_staticCameras->isHidden());
    QVERIFY(!dialog.checkBox_recal->isChecked());
    QCOMPARE(dialog.layout()->sizeConstraint(), QLayout::SetFixedSize);

    QTableWidget* table = dialog.tableStaticCameras;
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(table->selectionMode(), QAbstractItemView::NoSelection);
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
}

ROOMCAL_TEST_MAIN(TestDialogForm)
#include "tst_dialogform.moc"
