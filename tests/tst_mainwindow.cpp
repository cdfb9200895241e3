// The main window on real sockets, inside the private network namespace of tools/isolated.sh:
// the window's endpoint binds port 102 on every address, and a test "device" bound to
// 192.168.1.2:102 (on loopback in the namespace) sends its replies to 127.0.0.1:102. Searching,
// flashing and writing against devices across a network: tst_endtoend.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/devicetable.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QAccessible>
#include <QProcess>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using kvrtest::hex;

namespace {
const QHostAddress endpoint(QStringLiteral("127.0.0.1"));

// A device reply: MAC 00:1B:1B:00:00:<last>, IP 10.1.2.<last>/24 and gateway 10.1.2.254 unless
// other addresses are given, version 2.1.7, points 0.16.0.8.
QByteArray reply(quint8 typeCode, char last, const QByteArray &name, const QByteArray &netAddr = {})
{
    Frame::DeviceReply device{{}, hex("001B1B000000"), name, hex("020107"), hex("0A010200FFFFFF000A0102FE"),
                              hex("00100008")};
    device.mac[5] = last;
    device.netAddr[3] = last;
    if (!netAddr.isEmpty())
        device.netAddr = netAddr;
    return Frame::encodeReply(typeCode, device, 0);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void repliesBecomeRowsOncePerDevice();
    void rowCountIsCappedAt127();
    void actionsOpenTheirDialogs();
    void detailsRefusedWhereNoFrameMayGo_data();
    void detailsRefusedWhereNoFrameMayGo();
    void highlightedRowIsTheOneActedOn();
    void portHeldElsewhereIsShown();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>(QStringLiteral("tableWidget")); }
    void use(const char *buttonOrAction) { QVERIFY2(kvrtest::use(window.get(), buttonOrAction), buttonOrAction); }
    void dropWindow();
    void feedReplies(const QList<QByteArray> &replies);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QUdpSocket> device;
};

void TestMainWindow::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    device = std::make_unique<QUdpSocket>();
    QVERIFY(device->bind(QHostAddress(QStringLiteral("192.168.1.2")), Frame::DevicePort, QUdpSocket::ShareAddress));
}

void TestMainWindow::cleanup()
{
    qDeleteAll(kvrtest::shownDetailWindows());
    dropWindow();
}

void TestMainWindow::dropWindow()
{
    window.reset();
    // Each window makes its own endpoint; an old one still bound could take the next test's replies.
    delete g_mySocket;
    g_mySocket = nullptr;
}

void TestMainWindow::feedReplies(const QList<QByteArray> &replies)
{
    // Every reply here is a valid one, so each is announced once; the row is built inside the signal.
    QSignalSpy announced(g_mySocket, &MySocket::updPackReceived);
    for (const QByteArray &datagram : replies)
        QCOMPARE(device->writeDatagram(datagram, endpoint, Frame::DevicePort), datagram.size());
    QTRY_COMPARE_WITH_TIMEOUT(announced.size(), replies.size(), 3000);
}

void TestMainWindow::repliesBecomeRowsOncePerDevice()
{
    // Nothing is sent before the user asks: every frame, sent or not, takes a sequence number.
    QCoreApplication::processEvents();
    QCOMPARE(g_mySocket->nextFrameSeq(), 0u);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());

    // Not listed: a device with the sample row's MAC, and a listed device's second reply, though
    // its other fields differ.
    use("actionDebug");
    const Frame::DeviceReply sampleTwin{{}, hex("50E549CE2E4A"), "TWIN-1", {}, hex("0A010201FFFFFF000A0102FE"), {}};
    feedReplies({reply(2, 7, "PANEL-7"), Frame::encodeReply(1, sampleTwin, 0), reply(1, 7, "PANEL-7-AGAIN"),
                 reply(3, 3, " CTR516-K\t")});
    QCOMPARE(kvrtest::rowTexts(table()),
             (QStringList{kvrtest::sampleRow().join(u'|'),
                          QStringLiteral("HMI|PANEL-7|10.1.2.7|00:1B:1B:00:00:07|255.255.255.0|10.1.2.254|2.1.7|0.16.0.8"),
                          QStringLiteral("SERVO|KVR-CTL700-MQ16TRB|10.1.2.3|00:1B:1B:00:00:03|255.255.255.0|10.1.2.254|"
                                         "2.1.7|0.16.0.8")}));
    // The name cell keeps the name the device reported, which a write must send back.
    QCOMPARE(table()->item(2, DeviceColumn::Name)->data(ReportedNameRole).toString(), QStringLiteral(" CTR516-K\t"));

    // The newest row is the selected and current one.
    QCOMPARE(table()->currentRow(), 2);
    QCOMPARE(table()->selectionModel()->selectedRows(), QModelIndexList{table()->model()->index(2, 0)});
    // The table holds its repaints only while rows keep arriving.
    QTRY_VERIFY_WITH_TIMEOUT(table()->updatesEnabled(), 2000);
}

void TestMainWindow::rowCountIsCappedAt127()
{
    for (int i = 0; i < MainWindow::MaxDeviceRows; ++i)
        use("actionDebug");
    // A new device gets no 128th row, and the status bar says why; the last row stays the current one.
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 127);
    QCOMPARE(table()->currentRow(), 126);
    QCOMPARE(kvrtest::rowTexts(table()).constLast(), kvrtest::sampleRow().join(u'|'));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("设备列表已满（127 台），请刷新后重试"));

    // A refresh makes room again, and takes the message away.
    use("actionRefresh");
    QVERIFY(table()->rowCount() == 0 && window->statusBar()->currentMessage().isEmpty());
}

void TestMainWindow::actionsOpenTheirDialogs()
{
    // Neither language action changes a text, and help has no page: they all show About.
    for (const char *action : {"actionChinese", "actionEnglish", "actionHelp", "actionAbout", "actionInfo"}) {
        const QList<kvrtest::Modal> modals = kvrtest::closingModals([&] { use(action); });
        const QByteArray dialog = qstrcmp(action, "actionInfo") == 0 ? "Info" : "About";
        QVERIFY2(modals.size() == 1 && modals[0].className == dialog && modals[0].parent == window.get()
                     && modals[0].modality == Qt::ApplicationModal,
                 action);
    }
}

void TestMainWindow::detailsRefusedWhereNoFrameMayGo_data()
{
    QTest::addColumn<QByteArray>("netAddr"); // of the device's reply; none: no device listed
    QTest::addColumn<QString>("ip");
    QTest::newRow("empty list") << QByteArray() << QString();
    // Linux delivers frames for 0.0.0.0 to this computer itself.
    QTest::newRow("unconfigured device at 0.0.0.0") << hex("00000000 00000000 00000000") << "0.0.0.0";
    QTest::newRow("broadcast of its own subnet") << hex("0A0102FF FFFFFF00 0A0102FE") << "10.1.2.255";
    QTest::newRow("multicast") << hex("E00000FB FFFFFF00 0A0102FE") << "224.0.0.251";
    QTest::newRow("loopback") << hex("7F000001 FF000000 00000000") << "127.0.0.1";
}

void TestMainWindow::detailsRefusedWhereNoFrameMayGo()
{
    QFETCH(QByteArray, netAddr);
    QFETCH(QString, ip);
    if (!netAddr.isEmpty())
        feedReplies({reply(1, 1, "DEVICE-1", netAddr)});
    const QList<kvrtest::Modal> modals = kvrtest::closingModals([&] { use("detailedInfoBtn"); });
    QVERIFY(ip.isEmpty() ? kvrtest::isOneWarning(modals, QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"),
                                                 window.get())
                         : kvrtest::isOneWarning(modals, QStringLiteral("打开设备详情失败："),
                                                 QStringLiteral("设备地址%1不是单个设备的地址（未设置、广播、组播或回环地址），"
                                                                "无法使其闪烁或修改其设置！").arg(ip), window.get()));
    QVERIFY(kvrtest::shownDetailWindows().isEmpty());
    QCOMPARE(g_mySocket->nextFrameSeq(), 0u); // no LED frame, not even a failed one
    QVERIFY(!g_mySocket->isFlashing());
}

void TestMainWindow::highlightedRowIsTheOneActedOn()
{
    feedReplies({reply(1, 1, "DEVICE-1"), reply(2, 2, "PANEL-2")});
    // A screen reader selects the first row; the accessibility interface goes through the
    // selection model alone.
    QAccessibleInterface *access = QAccessible::queryAccessibleInterface(table());
    QVERIFY(!access->text(QAccessible::Name).isEmpty());
    QVERIFY(access->tableInterface()->selectRow(0));
    use("detailedInfoBtn");
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    QCOMPARE(kvrtest::shownDetailWindows().constFirst()->getMacAddr(), QStringLiteral("00:1B:1B:00:00:01"));
    QCOMPARE(g_mySocket->targetMacText(), QStringLiteral("00:1B:1B:00:00:01"));
}

void TestMainWindow::portHeldElsewhereIsShown()
{
    // This window holds the port. A second kvrctl700 program is refused, says so in its log, and
    // leaves every device's reply to this one.
    QProcess second;
    second.start(QStringLiteral(KVR_APP_PATH), {});
    const QByteArray refusal = QStringLiteral("UDP port 102 is held by another kvrctl700 program, %1 (PID %2)")
                                   .arg(QCoreApplication::applicationName())
                                   .arg(QCoreApplication::applicationPid())
                                   .toUtf8();
    QByteArray log;
    QTRY_VERIFY2_WITH_TIMEOUT((log += second.readAllStandardError()).contains(refusal), log.constData(), 10000);
    use("refreshUserBtn");
    feedReplies({reply(1, 1, "DEVICE-1"), reply(2, 2, "PANEL-2"), reply(3, 3, "AXIS-3")});
    QCOMPARE(table()->rowCount(), 3);
    second.kill();
    second.waitForFinished();

    // Another program holds the port without sharing it: this window says so, and its search
    // button works on nothing.
    dropWindow();
    QUdpSocket blocker;
    QVERIFY(blocker.bind(endpoint, Frame::DevicePort, QUdpSocket::DontShareAddress));
    window = std::make_unique<MainWindow>();
    const QString inUse = QStringLiteral("UDP端口102已被其他程序占用，找不到设备：请关闭占用该端口的程序后重新启动本程序");
    QCOMPARE(window->statusBar()->currentMessage(), inUse);
    use("actionDebug");
    use("refreshUserBtn");
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(window->statusBar()->currentMessage(), inUse);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
