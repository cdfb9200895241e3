#include "mainwindow/devicerow.h"
#include "detail/devicetable.h"
#include "support/testsupport.h"

#include <QTest>

using kvrtest::hex;

// A servo drive without a version field, reporting the given name.
const auto record = [](const QByteArray &name) -> Frame::DeviceReply {
    return {"SERVO", hex("0010A4000001"), name, {}, hex("0A000005FFFF00000A000001"), hex("0010")};
};

class TestDeviceRow : public QObject
{
    Q_OBJECT

private slots:
    void shownName_data()
    {
        QTest::addColumn<QByteArray>("reported");
        QTest::addColumn<QString>("shown");
        const QString model = QStringLiteral("KVR-CTL700-MQ16TRB");
        QTest::newRow("stops at the first zero byte") << QByteArray("ABCDEF\0GH", 9) << QStringLiteral("ABCDEF");
        QTest::newRow("white space is kept") << QByteArray(" PUMP  3 ") << QStringLiteral(" PUMP  3 ");
        QTest::newRow("model name mapped") << QByteArray("CTR516-K") << model;
        QTest::newRow("model name with white space around") << QByteArray("\t CTR516-K\n") << model;
        QTest::newRow("model name cut by a zero byte") << QByteArray("CTR516-K\0\0", 10) << model;
        QTest::newRow("lower case is not the model") << QByteArray("ctr516-k") << QStringLiteral("ctr516-k");
        QTest::newRow("inner blank is not the model") << QByteArray("CTR516 -K") << QStringLiteral("CTR516 -K");
        QTest::newRow("longer name is not the model") << QByteArray("CTR516-K2") << QStringLiteral("CTR516-K2");
    }

    void shownName()
    {
        QFETCH(QByteArray, reported);
        QFETCH(QString, shown);
        QCOMPARE(deviceRowTexts(record(reported)).cellText(DeviceColumn::Name), shown);
    }

    void rowColumns()
    {
        const QByteArray name = QByteArrayLiteral("PR\xC9SSE\0-01");
        const DeviceRowTexts row = deviceRowTexts(record(name));
        QString cells;
        for (int column = 0; column < DeviceColumn::Count; ++column)
            cells += row.cellText(column) + u'|';
        QCOMPARE(cells, QString::fromUtf8("SERVO|PR\uFFFDSSE|10.0.0.5|00:10:A4:00:00:01|255.255.0.0|10.0.0.1||0.16|"));
        // The reported name keeps the device's bytes, so that a write gives the device its own name back.
        QCOMPARE(row.reportedName.toLatin1(), name);
    }
};

QTEST_GUILESS_MAIN(TestDeviceRow)
#include "tst_devicerow.moc"
