// The configuration write from the detail window, on real sockets inside the private network
// namespace of tools/isolated.sh: the device endpoint binds port 102 on every address and a test
// "device" binds 192.168.1.2:102, the address of the rows below (it sits on the namespace's
// loopback), so it receives what is sent to that device.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/devicetable.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QAction>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using kvrtest::hex;

namespace {

const QByteArray deviceMac = hex("50E549CE2E4A");

// A device at the test device's address, listed under the given name.
QStringList deviceRow(const char *name)
{
    return QString::fromUtf8("PLC|%1|192.168.1.2|50:E5:49:CE:2E:4A|255.255.255.0|192.168.1.1|1.0.0.0|0.16.0.0")
        .arg(QString::fromUtf8(name))
        .split(QLatin1Char('|'));
}

// The frame a write of the given values must give, byte for byte (from a fresh socket: sequence 0).
QByteArray writeFrame(const QByteArray &paddedName, const QByteArray &netAddr, quint8 frameSeq = 0)
{
    return hex("4B4F5256454C 01 F0 00 04 0000005A 000000") + char(frameSeq) + hex("00000008 00000006") + deviceMac
           + hex("00000001 00000006") + deviceMac + hex("00000002 00000010") + paddedName
           + hex("00000004 0000000C") + netAddr;
}

} // namespace

class TestConfigWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void confirm_data();
    void confirm();
    void writeFromTheMainWindow();

private:
    void openWindow(const QStringList &row, const QString &reportedName);
    void clickConfirm(bool viaMenu = false);
    QByteArray frameAtDevice();

    MySocket *socket = nullptr;
    std::unique_ptr<QUdpSocket> device;
    std::unique_ptr<kvrtest::DeviceTable> table;
    QPointer<SubPlcInfo> window;
};

void TestConfigWrite::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestConfigWrite::init()
{
    g_mySocket = socket = new MySocket;
    QVERIFY(socket->initSocket());
    device = std::make_unique<QUdpSocket>();
    QVERIFY(device->bind(QHostAddress(QStringLiteral("192.168.1.2")), Frame::DevicePort, QUdpSocket::ShareAddress));
    table = std::make_unique<kvrtest::DeviceTable>();
}

void TestConfigWrite::cleanup()
{
    delete window;
    table.reset();
    device.reset();
    delete g_mySocket; // this test's endpoint, or the main window's
    g_mySocket = socket = nullptr;
}

void TestConfigWrite::openWindow(const QStringList &row, const QString &reportedName)
{
    table->addRow(row, reportedName);
    // As the main window does: the target is the current row's IP text when the window opens.
    socket->setTargetAddress(currentRowItem(DeviceColumn::IpAddress)->text());
    window = new SubPlcInfo;
    window->show();
}

void TestConfigWrite::clickConfirm(bool viaMenu)
{
    if (viaMenu)
        window->findChild<QAction *>(QStringLiteral("modifyConfrim"))->trigger();
    else
        window->findChild<QPushButton *>(QStringLiteral("confirmBtn"))->click();
}

QByteArray TestConfigWrite::frameAtDevice()
{
    return device->hasPendingDatagrams() || device->waitForReadyRead(3000) ? device->receiveDatagram().data() : QByteArray();
}

void TestConfigWrite::confirm_data()
{
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QString>("reportedName"); // null: a row added by hand, which keeps none
    QTest::addColumn<QString>("change"); // made after the window opened
    QTest::addColumn<QByteArray>("frame"); // what the device gets; none when the send fails or is refused
    QTest::addColumn<QString>("refusal"); // the warning, when the write is refused

    const QByteArray rowAddresses = hex("C0A80102 FFFFFF00 C0A80101");
    QTest::newRow("six-letter name gets ten spaces")
        << deviceRow("ABCDEF") << "ABCDEF" << "" << writeFrame("ABCDEF          ", rowAddresses) << "";
    QTest::newRow("sample row: zero-padded groups read as decimal")
        << kvrtest::sampleRow() << QString() << "" << writeFrame("KV516_K         ", rowAddresses) << "";
    QTest::newRow("mapped model text: the reported name is written")
        << deviceRow("KVR-CTL700-MQ16TRB") << "CTR516-K" << "" << writeFrame("CTR516-K        ", rowAddresses) << "";
    QTest::newRow("a send that fails still closes the window")
        << deviceRow("ABCDEF") << "ABCDEF" << "unusable target" << QByteArray() << "";

    const char *shortName = "设备名称小于6个字符！";
    const char *noRow = "设备列表中没有选中的设备，请刷新后重新打开！";
    QTest::newRow("five-letter name refused") << deviceRow("ABCDE") << "ABCDE" << "" << QByteArray() << shortName;
    QTest::newRow("empty name refused") << deviceRow("") << "" << "" << QByteArray() << shortName;
    QTest::newRow("long model text but short reported name refused")
        << deviceRow("KVR-CTL700-MQ16TRB") << "ABCDE" << "" << QByteArray() << shortName;
    // The address validator lets a pasted trailing newline stand.
    QTest::newRow("gateway with a newline refused")
        << deviceRow("ABCDEF") << "ABCDEF" << "gateway with a newline" << QByteArray() << "网关不完整！";
    QTest::newRow("no current row refused") << deviceRow("ABCDEF") << "ABCDEF" << "no current row" << QByteArray() << noRow;
    QTest::newRow("current row without a MAC cell refused")
        << deviceRow("ABCDEF") << "ABCDEF" << "no MAC" << QByteArray() << noRow;
    QTest::newRow("another device selected since opening refused") << deviceRow("ABCDEF") << "ABCDEF" << "another row"
        << QByteArray() << "选中的设备已不是本窗口的设备，请重新打开设备详情！";
}

void TestConfigWrite::confirm()
{
    QFETCH(QStringList, row);
    QFETCH(QString, reportedName);
    QFETCH(QString, change);
    QFETCH(QByteArray, frame);
    QFETCH(QString, refusal);

    openWindow(row, reportedName);
    if (change == QLatin1String("unusable target"))
        socket->setTargetAddress(QStringLiteral("not an address"));
    else if (change == QLatin1String("gateway with a newline"))
        window->findChild<QLineEdit *>(QStringLiteral("subGateWayAddr"))->setText(QStringLiteral("192.168.1.1\n"));
    else if (change == QLatin1String("no current row"))
        table->setCurrentCell(-1, -1);
    else if (change == QLatin1String("no MAC"))
        delete table->takeItem(0, DeviceColumn::Mac);
    else if (change == QLatin1String("another row"))
        table->addRow(kvrtest::cells("PLC|SECOND|192.168.1.3|00:11:22:33:44:55|255.255.255.0|192.168.1.1|1.0|0.16"));
    QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);
    kvrtest::TraceCapture traces;

    const bool refused = !refusal.isEmpty();
    if (refused) {
        // The button and the menu refuse alike, and the window stays.
        for (bool viaMenu : {false, true}) {
            kvrtest::ModalCloser warnings;
            clickConfirm(viaMenu);
            QVERIFY(warnings.sawOneWarning(QStringLiteral("操作失败："), refusal, window.data()));
        }
        QVERIFY(window && window->isVisible());
    } else {
        clickConfirm();
        const QString sent = QStringLiteral("TCP command Write command: %1").arg(frame.isEmpty() ? -1 : frame.size());
        QVERIFY2(traces.lines().contains(sent), qPrintable(traces.lines().join(u'\n')));
        QTRY_VERIFY(window.isNull());
    }
    QCOMPARE(frame.isEmpty() && !device->hasPendingDatagrams() ? QByteArray() : frameAtDevice(), frame);
    QCOMPARE(socket->nextFrameSeq(), refused ? 0u : 1u);
    QCOMPARE(closed.size(), refused ? 0 : 1);
}

void TestConfigWrite::writeFromTheMainWindow()
{
    // The main window makes its own endpoint and fills its own table.
    delete socket;
    g_mySocket = socket = nullptr;
    MainWindow main;
    main.show();
    QVERIFY(g_mySocket && g_mySocket->isBound());

    // The sample row's address "192.168.001.002" is the test device's.
    main.findChild<QAction *>(QStringLiteral("actionDebug"))->trigger();
    main.findChild<QPushButton *>(QStringLiteral("detailedInfoBtn"))->click();
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    window = kvrtest::shownDetailWindows().first();
    clickConfirm();
    QCOMPARE(frameAtDevice(), Frame::encodeLed(deviceMac, Frame::LedCommand::Flash, 0));
    QCOMPARE(frameAtDevice(), writeFrame("KV516_K         ", hex("C0A80102 FFFFFF00 C0A80101"), 1));
    QCOMPARE(frameAtDevice(), Frame::encodeLed(deviceMac, Frame::LedCommand::Off, 2));
    QVERIFY(!g_mySocket->isFlashing());
    QTRY_VERIFY(window.isNull());
}

QTEST_MAIN(TestConfigWrite)
#include "tst_configwrite.moc"
