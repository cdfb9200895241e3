// The configuration write from the detail window, on real sockets inside the private network
// namespace of tools/isolated.sh: the device endpoint binds port 102 on every address and a test
// "device" binds 192.168.1.2:102, the address of the rows below (it sits on the namespace's
// loopback), so it receives what is sent to that device.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "protocol/devicecontext.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using kvrtest::hex;

namespace {

const QHostAddress deviceAddress(QStringLiteral("192.168.1.2"));

struct Row
{
    QString name;
    QString reportedName; // null: a row added by hand, which keeps no reported name
    QString ip = QStringLiteral("192.168.1.2");
    QString mac = QStringLiteral("50:E5:49:CE:2E:4A");
    QString mask = QStringLiteral("255.255.255.0");
    QString gateway = QStringLiteral("192.168.1.1");
};

void addRow(QTableWidget &table, const Row &row)
{
    const int index = table.rowCount();
    table.insertRow(index);
    const QStringList cells{QStringLiteral("PLC"), row.name, row.ip, row.mac, row.mask, row.gateway,
                            QStringLiteral("1.0.0.0"), QStringLiteral("0.16.0.0")};
    for (int column = 0; column < cells.size(); ++column)
        table.setItem(index, column, new QTableWidgetItem(cells.at(column)));
    if (!row.reportedName.isNull())
        table.item(index, DeviceColumn::Name)->setData(ReportedNameRole, row.reportedName);
    table.selectRow(index);
}

// The frame a write of the given values must give, byte for byte (from a fresh socket: sequence 0).
QByteArray writeFrame(const QByteArray &targetMac, const QByteArray &paddedName, const QByteArray &netAddr,
                      quint8 frameSeq = 0)
{
    return hex("4B4F5256454C 01 F0 00 04 0000005A 000000") + char(frameSeq) + hex("00000008 00000006") + targetMac
           + hex("00000001 00000006 50E549CE2E4A 00000002 00000010") + paddedName
           + hex("00000004 0000000C") + netAddr;
}

} // namespace

Q_DECLARE_METATYPE(Row)

class TestConfigWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void writesTheWindowsValues_data();
    void writesTheWindowsValues();
    void failedSendStillCloses();
    void refusals_data();
    void refusals();
    void writeWithoutRowReadsNoCell();
    void writeFromTheMainWindow();

private:
    SubPlcInfo *openWindow();
    void confirm(bool viaMenu = false);
    QByteArray frameAtDevice();

    MySocket *socket = nullptr;
    QUdpSocket *device = nullptr;
    QTableWidget *table = nullptr;
    QPointer<SubPlcInfo> window;
};

void TestConfigWrite::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestConfigWrite::init()
{
    socket = new MySocket;
    QVERIFY(socket->initSocket());
    g_mySocket = socket;
    device = new QUdpSocket;
    QVERIFY(device->bind(deviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
    table = new QTableWidget(0, DeviceColumn::Count);
    g_deviceTable = table;
}

void TestConfigWrite::cleanup()
{
    delete window;
    delete table;
    delete device;
    if (g_mySocket != socket)
        delete g_mySocket;
    delete socket;
    g_deviceTable = nullptr;
    g_mySocket = nullptr;
}

SubPlcInfo *TestConfigWrite::openWindow()
{
    // As the main window does: the target is the current row's IP text when the window opens.
    socket->setTargetAddress(currentRowItem(DeviceColumn::IpAddress)->text());
    window = new SubPlcInfo;
    window->show();
    return window;
}

void TestConfigWrite::confirm(bool viaMenu)
{
    if (viaMenu)
        window->findChild<QAction *>(QStringLiteral("modifyConfrim"))->trigger();
    else
        window->findChild<QPushButton *>(QStringLiteral("confirmBtn"))->click();
}

QByteArray TestConfigWrite::frameAtDevice()
{
    if (!device->hasPendingDatagrams() && !device->waitForReadyRead(3000))
        return {};
    return device->receiveDatagram().data();
}

void TestConfigWrite::writesTheWindowsValues_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<QString>("typedIp");
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<QByteArray>("frame");

    const QByteArray mac = hex("50E549CE2E4A");
    const QByteArray textsAddresses = hex("C0A80107 FFFFFF00 C0A80101");

    QTest::newRow("new IP goes to the old address; six-letter name gets ten spaces")
        << Row{QStringLiteral("ABCDEF"), QStringLiteral("ABCDEF")} << QStringLiteral("192.168.1.7") << false
        << writeFrame(mac, "ABCDEF          ", textsAddresses);
    QTest::newRow("menu action writes the same")
        << Row{QStringLiteral("ABCDEF"), QStringLiteral("ABCDEF")} << QStringLiteral("192.168.1.7") << true
        << writeFrame(mac, "ABCDEF          ", textsAddresses);
    QTest::newRow("sample row: zero-padded groups read as decimal")
        << Row{QStringLiteral("KV516_K"), QString(), QStringLiteral("192.168.001.002"),
               QStringLiteral("50:E5:49:CE:2E:4A"), QStringLiteral("255.255.255.000"),
               QStringLiteral("192.168.001.001")}
        << QString() << false << writeFrame(mac, "KV516_K         ", hex("C0A80102 FFFFFF00 C0A80101"));
    QTest::newRow("sixteen-letter name unchanged")
        << Row{QStringLiteral("ABCDEFGHIJKLMNOP"), QStringLiteral("ABCDEFGHIJKLMNOP")} << QString() << false
        << writeFrame(mac, "ABCDEFGHIJKLMNOP", hex("C0A80102 FFFFFF00 C0A80101"));
    QTest::newRow("mapped model text: the reported name is written")
        << Row{QStringLiteral("KVR-CTL700-MQ16TRB"), QStringLiteral("CTR516-K")} << QString() << false
        << writeFrame(mac, "CTR516-K        ", hex("C0A80102 FFFFFF00 C0A80101"));
    QTest::newRow("row added by hand with a long name: cut to sixteen")
        << Row{QStringLiteral("ABCDEFGHIJKLMNOPQRST"), QString()} << QString() << false
        << writeFrame(mac, "ABCDEFGHIJKLMNOP", hex("C0A80102 FFFFFF00 C0A80101"));
}

void TestConfigWrite::writesTheWindowsValues()
{
    QFETCH(Row, row);
    QFETCH(QString, typedIp);
    QFETCH(bool, viaMenu);
    QFETCH(QByteArray, frame);

    addRow(*table, row);
    openWindow();
    if (!typedIp.isNull()) {
        auto *ipField = window->findChild<QLineEdit *>(QStringLiteral("plcIP_Addr"));
        ipField->clear();
        QTest::keyClicks(ipField, typedIp);
    }
    QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);
    kvrtest::TraceCapture traces;
    confirm(viaMenu);

    QCOMPARE(frameAtDevice(), frame);
    QVERIFY(traces.lines().contains(QStringLiteral("TCP command Write command: 90")));
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(closed.size(), 1);
    QCOMPARE(socket->nextFrameSeq(), 1u);
}

void TestConfigWrite::failedSendStillCloses()
{
    addRow(*table, Row{QStringLiteral("ABCDEF"), QStringLiteral("ABCDEF")});
    openWindow();
    socket->setTargetAddress(QStringLiteral("not an address"));
    QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);
    kvrtest::TraceCapture traces;
    confirm();
    QVERIFY(traces.lines().contains(QStringLiteral("TCP command Write command: -1")));
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(socket->nextFrameSeq(), 1u);
}

void TestConfigWrite::refusals_data()
{
    QTest::addColumn<Row>("row");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fieldText");
    QTest::addColumn<QString>("message");

    const Row good{QStringLiteral("ABCDEF"), QStringLiteral("ABCDEF")};
    const QString shortName = QStringLiteral("设备名称小于6个字符！");

    QTest::newRow("five-letter name") << Row{QStringLiteral("ABCDE"), QStringLiteral("ABCDE")} << QString()
                                      << QString() << shortName;
    QTest::newRow("empty name") << Row{QString(), QString()} << QString() << QString() << shortName;
    QTest::newRow("long model text but short reported name")
        << Row{QStringLiteral("KVR-CTL700-MQ16TRB"), QStringLiteral("ABCDE")} << QString() << QString() << shortName;
    QTest::newRow("IP address of three groups") << good << QStringLiteral("plcIP_Addr") << QStringLiteral("192.168.1.")
                                                << QStringLiteral("IP地址不完整！");
    QTest::newRow("empty subnet mask") << good << QStringLiteral("subnetMaskAddr") << QStringLiteral("")
                                       << QStringLiteral("子网掩码不完整！");
    QTest::newRow("gateway pasted with a newline") << good << QStringLiteral("subGateWayAddr")
                                                   << QStringLiteral("192.168.1.1\n") << QStringLiteral("网关不完整！");
    QTest::newRow("list emptied by a refresh") << good << QStringLiteral("table") << QStringLiteral("empty")
                                               << QStringLiteral("设备列表中没有选中的设备，请刷新后重新打开！");
    QTest::newRow("no row current") << good << QStringLiteral("table") << QStringLiteral("no current row")
                                    << QStringLiteral("设备列表中没有选中的设备，请刷新后重新打开！");
    QTest::newRow("current row without a MAC cell") << good << QStringLiteral("table") << QStringLiteral("no MAC")
                                                    << QStringLiteral("设备列表中没有选中的设备，请刷新后重新打开！");
    QTest::newRow("another device selected since opening")
        << good << QStringLiteral("table") << QStringLiteral("another row")
        << QStringLiteral("选中的设备已不是本窗口的设备，请重新打开设备详情！");
}

void TestConfigWrite::refusals()
{
    QFETCH(Row, row);
    QFETCH(QString, field);
    QFETCH(QString, fieldText);
    QFETCH(QString, message);

    addRow(*table, row);
    openWindow();
    if (field == QLatin1String("table")) {
        if (fieldText == QLatin1String("empty"))
            table->setRowCount(0);
        else if (fieldText == QLatin1String("no current row"))
            table->setCurrentCell(-1, -1);
        else if (fieldText == QLatin1String("another row")) {
            addRow(*table, Row{QStringLiteral("SECOND"), QStringLiteral("SECOND"), QStringLiteral("192.168.1.3"),
                               QStringLiteral("00:11:22:33:44:55")});
            table->selectRow(1);
        }
        else
            delete table->takeItem(0, DeviceColumn::Mac);
    } else if (!field.isEmpty()) {
        // Typed or pasted as a user would: the validator has its say.
        auto *edit = window->findChild<QLineEdit *>(field);
        edit->clear();
        QApplication::clipboard()->setText(fieldText);
        edit->paste();
        QCOMPARE(edit->text(), fieldText);
    }
    const QString ipBefore = window->getIpAddr();
    QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);

    for (bool viaMenu : {false, true}) {
        kvrtest::ModalCloser warnings;
        confirm(viaMenu);
        QVERIFY(warnings.sawOneWarning(QStringLiteral("操作失败："), message, window.data()));
    }
    QTest::qWait(50);
    QVERIFY(!device->hasPendingDatagrams());
    QCOMPARE(socket->nextFrameSeq(), 0u);
    QCOMPARE(closed.size(), 0);
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->getIpAddr(), ipBefore);
}

void TestConfigWrite::writeWithoutRowReadsNoCell()
{
    addRow(*table, Row{QStringLiteral("ABCDEF"), QStringLiteral("ABCDEF")});
    openWindow();
    table->setRowCount(0);
    kvrtest::TraceCapture traces;
    QVERIFY(!socket->udpSendCmdWrite(window));
    QVERIFY(traces.lines().contains(QStringLiteral("TCP command Write command skipped: no device row")));
    QTest::qWait(50);
    QVERIFY(!device->hasPendingDatagrams());
    QCOMPARE(socket->nextFrameSeq(), 0u);
}

void TestConfigWrite::writeFromTheMainWindow()
{
    // The main window makes its own endpoint.
    delete socket;
    socket = nullptr;
    g_mySocket = nullptr;
    MainWindow main;
    main.show();
    QVERIFY(g_mySocket && g_mySocket->isBound());

    const auto openDetails = [&] {
        main.findChild<QPushButton *>(QStringLiteral("detailedInfoBtn"))->click();
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *detail = qobject_cast<SubPlcInfo *>(widget); detail && detail->isVisible())
                window = detail;
    };
    // The sample row: "192.168.001.002", which is the device socket's address.
    main.findChild<QAction *>(QStringLiteral("actionDebug"))->trigger();
    openDetails();
    QVERIFY(window);
    QVERIFY(g_mySocket->isFlashing());
    QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);
    confirm();

    const QByteArray sampleMac = hex("50E549CE2E4A");
    QCOMPARE(frameAtDevice(), Frame::encodeLed(sampleMac, Frame::LedCommand::Flash, 0));
    QCOMPARE(frameAtDevice(), writeFrame(sampleMac, "KV516_K         ", hex("C0A80102 FFFFFF00 C0A80101"), 1));
    QCOMPARE(frameAtDevice(), Frame::encodeLed(sampleMac, Frame::LedCommand::Off, 2));
    QCOMPARE(closed.size(), 1);
    QVERIFY(!g_mySocket->isFlashing());
    QTRY_VERIFY(window.isNull());

    // The next opening is allowed: a new window, and the LEDs flash again.
    kvrtest::ModalCloser warnings;
    openDetails();
    QVERIFY(warnings.seen.isEmpty());
    QVERIFY(window);
    QCOMPARE(frameAtDevice(), Frame::encodeLed(sampleMac, Frame::LedCommand::Flash, 3));
    window->close();
}

QTEST_MAIN(TestConfigWrite)
#include "tst_configwrite.moc"
