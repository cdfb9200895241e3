// The whole tool against simulated devices across a network: kvrctl700-devsim plays the sample
// devices in a namespace of its own, joined to this test's namespace by a veth cable, and the real
// windows are driven through their widgets, found by object name, on the offscreen platform.
// What the devices saw is read from the simulator's report lines. Some tests add a second adapter:
// cable 1 (198.19.0.0/16, without the default route) to a simulator playing two devices of a
// foreign subnet, which only broadcast frames reach.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/writefollowup.h"
#include "protocol/frame.h"
#include "support/simulatorprocess.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>
#include <QWindow>

#include <memory>

using kvrtest::use;

namespace {

constexpr int LedTimeoutMs = 1500;

// The sample devices as the device table must list them, in the order they answer; cells joined by '|'.
const QStringList sampleRows = {
    QStringLiteral("PLC|KVR-CTL700-MQ16TRB|198.18.0.10|02:4B:56:10:00:01|255.255.255.0|198.18.0.254|1.2.0.0|0.16.0.8"),
    QStringLiteral("PLC|FILLER-PLC-02|198.18.0.11|02:4B:56:10:00:02|255.255.255.0|198.18.0.254|1.3.2.0|0.32.0.24"),
    QStringLiteral("HMI|PACKLINE-HMI|198.18.0.20|02:4B:56:20:00:01|255.255.255.0|198.18.0.254|2.0.4|"),
    QStringLiteral("SERVO|CONVEYOR-AXIS1|198.18.0.30|02:4B:56:30:00:01|255.255.255.0|198.18.0.254|1.4.0|"),
    QStringLiteral("VFD|MIXER-VFD-07|198.18.0.40|02:4B:56:40:00:07|255.255.255.0|198.18.0.254||"),
};

const QStringList foreignRows = {
    QStringLiteral("HMI|FACTORY-HMI|192.0.2.50|02:4B:56:20:00:09|255.255.255.0|192.0.2.1||"),
    QStringLiteral("SERVO|OLD-PLANT-AXIS|192.0.2.60|02:4B:56:30:00:05|255.255.255.0|192.0.2.1||"),
};
const QString foreignDevices = QStringLiteral(
    "--device type=HMI,name=FACTORY-HMI,mac=02:4B:56:20:00:09,ip=192.0.2.50,mask=255.255.255.0,gateway=192.0.2.1 "
    "--device type=SERVO,name=OLD-PLANT-AXIS,mac=02:4B:56:30:00:05,ip=192.0.2.60,mask=255.255.255.0,gateway=192.0.2.1,"
    "ignores-broadcast=true");

// Every line the simulator prints from `from` on, up to a marker datagram sent now from another
// port: frames on one path keep their order, so whatever the tool sent before is in there.
QStringList linesUntilMarker(const DevSim::SimulatorProcess &simulator, qsizetype from)
{
    QUdpSocket marker;
    marker.writeDatagram("mark", QHostAddress(QStringLiteral("198.18.0.10")), Frame::DevicePort);
    const QString markerLine = QStringLiteral("rejected 4 bytes from 198.18.0.1:%1: 4 bytes are too short for a header")
                                   .arg(marker.localPort());
    if (!QTest::qWaitFor([&] { return simulator.printedSince(from, markerLine); }, 5000))
        return {QStringLiteral("no marker line")};
    const QStringList lines = simulator.lines().mid(from);
    return lines.mid(0, lines.indexOf(markerLine));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { startSimulator(); }
    void cleanup();
    void cleanupTestCase() { delete window; }

    void refreshListsTheDevicesThatAnswer();
    void detailsFlashTheDeviceUntilClosed();
    void refusedConfirmationSendsNoWrite_data();
    void refusedConfirmationSendsNoWrite();
    void writeIsFollowedUp_data();
    void writeIsFollowedUp();
    void wholeFlowByKeyboardAlone();
    void sharedAddressIsReachedByBroadcast();

private:
    void startSimulator(const QString &devices = {}, int cable = 0);
    void refreshAndWaitFor(int devices);
    SubPlcInfo *openDetails(const QString &mac, int devices = int(sampleRows.size()));

    MainWindow *window = nullptr;
    QTableWidget *table = nullptr;
    std::unique_ptr<DevSim::SimulatorProcess> simulator;
    std::unique_ptr<DevSim::SimulatorProcess> second; // on cable 1
};

void TestEndToEnd::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
    // One window for the whole run: it makes the one endpoint, bound to port 102 here.
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table);
    // A device is given 0.1 s to restart before it is searched for, and then 3 s to answer.
    window->findChild<WriteFollowUp *>()->setTimeLimits(100, 3000);
}

void TestEndToEnd::startSimulator(const QString &devices, int cable)
{
    std::unique_ptr<DevSim::SimulatorProcess> &started = cable == 0 ? simulator : second;
    started = std::make_unique<DevSim::SimulatorProcess>(DevSim::SimulatorCable{cable, cable == 0});
    const QString arguments = QStringLiteral("--restart-ms 500 --led-timeout-ms %1 %2").arg(LedTimeoutMs).arg(devices);
    const std::optional<QString> failure =
        started->start(QStringLiteral(KVR_DEVSIM_PATH), arguments.split(u' ', Qt::SkipEmptyParts));
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
}

void TestEndToEnd::cleanup()
{
    if (SubPlcInfo *detail = kvrtest::shownDetailWindows().value(0))
        detail->close();
    simulator.reset();
    second.reset();
}

void TestEndToEnd::refreshAndWaitFor(int devices)
{
    QVERIFY(use(window, "actionRefresh")); // the menu action; refreshListsTheDevicesThatAnswer() uses the button
    QTRY_COMPARE(table->rowCount(), devices);
}

// Lists the devices and opens the details of the one with this MAC by the button.
SubPlcInfo *TestEndToEnd::openDetails(const QString &mac, int devices)
{
    refreshAndWaitFor(devices);
    const QList<QTableWidgetItem *> found = table->findItems(mac, Qt::MatchExactly);
    if (found.size() != 1)
        return nullptr;
    table->selectRow(found.first()->row());
    use(window, "detailedInfoBtn");
    return kvrtest::shownDetailWindows().value(0);
}

void TestEndToEnd::refreshListsTheDevicesThatAnswer()
{
    refreshAndWaitFor(sampleRows.size());
    QCOMPARE(kvrtest::rowTexts(table), sampleRows);

    // The cable pulled: the search cannot go out, and the status bar says so rather than let the
    // empty list look as if no device had answered.
    simulator->stop();
    use(window, "refreshUserBtn");
    QVERIFY(window->statusBar()->currentMessage().startsWith(QStringLiteral("搜索命令未能发出")));

    // The cable back, and a second adapter without the default route, where a search to
    // 255.255.255.255 that names no adapter never goes: one search frame out of each (traced as
    // ever; its bytes: tst_mysocket), every device listed once, and the message gone.
    startSimulator();
    startSimulator(foreignDevices, 1);
    kvrtest::TraceCapture traces;
    refreshAndWaitFor(sampleRows.size() + foreignRows.size());
    QCOMPARE(traces.lines().count(QStringLiteral("Broadcast Searching: 46")), 2);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    for (const QString &row : sampleRows + foreignRows)
        QVERIFY2(kvrtest::rowTexts(table).contains(row), qPrintable(row));
}

void TestEndToEnd::detailsFlashTheDeviceUntilClosed()
{
    // Made-up devices live all over 198.18.0.0/16, beyond the sample devices' /24.
    startSimulator(QStringLiteral("--generate 40"));
    refreshAndWaitFor(40);
    const QList<QTableWidgetItem *> found = table->findItems(QStringLiteral("198.18.1.40"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    table->scrollToItem(found.first());
    // QTest's double click alone does not reach the view as one: the first click comes separately.
    const QPoint cell = table->visualItemRect(found.first()).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
    // Without a window nothing flashes: the next check fails first.
    QPointer<SubPlcInfo> detail = kvrtest::shownDetailWindows().value(0);
    const QString led = QStringLiteral("led \"GEN-VFD-0040\" 02:4B:56:F0:00:28 ");
    QTRY_VERIFY2(simulator->lines().contains(led + QLatin1String("flashing")),
                 qPrintable(simulator->lines().join(u'\n')));

    // No second window, not even after a refresh, which lists the devices in another order.
    const qsizetype opened = simulator->lines().size();
    refreshAndWaitFor(40);
    const QList<kvrtest::Modal> modals = kvrtest::closingModals([this] { use(window, "detailedInfoBtn"); });
    QVERIFY(kvrtest::isOneWarning(modals, QStringLiteral("打开设备详情失败："),
                                  QStringLiteral("正在设置一个子设备，请关闭后再尝试!"), window));
    QCOMPARE(kvrtest::shownDetailWindows(), QList<SubPlcInfo *>{detail});

    // The tool's repeated flash commands keep the device flashing well past its own time-out (a
    // wait that is the point of the check). Closing (the title bar's control) turns it off at
    // once, and closed means closed: nothing more reaches the devices.
    QTest::qWait(2 * LedTimeoutMs);
    QVERIFY(detail->windowHandle()->close());
    QStringList lines = linesUntilMarker(*simulator, opened);
    lines.removeIf([](const QString &line) { return line.startsWith(QLatin1String("search from")); });
    QCOMPARE(lines, QStringList{led + QLatin1String("off")});

    // The next opening is allowed, and the device flashes again.
    const qsizetype closed = simulator->lines().size();
    use(window, "detailedInfoBtn");
    QTRY_VERIFY(simulator->printedSince(closed, led + QLatin1String("flashing")));
}

void TestEndToEnd::refusedConfirmationSendsNoWrite_data()
{
    QTest::addColumn<QString>("change"); // "field=text" the user types there, or what the user does meanwhile
    QTest::addColumn<QString>("message");

    // FILLER-PLC-02, 198.18.0.11/24 with gateway 198.18.0.254, is the device opened.
    QTest::newRow("incomplete IP address") << "plcIP_Addr=198.18.0." << "IP地址不完整！";
    QTest::newRow("mask with a gap") << "subnetMaskAddr=255.0.255.0" << "子网掩码无效！";
    QTest::newRow("gateway outside the subnet") << "subGateWayAddr=198.18.1.254" << "网关不在该子网内！";
    QTest::newRow("address of another listed device") << "plcIP_Addr=198.18.0.20"
                                                      << "IP地址已被设备PACKLINE-HMI（02:4B:56:20:00:01）使用！";
    QTest::newRow("this computer's own address") << "plcIP_Addr=198.18.0.1" << "IP地址不能是本机的地址！";
    QTest::newRow("list emptied by a refresh") << "refresh" << "设备列表中没有选中的设备，请刷新后重新打开！";
    QTest::newRow("another device selected") << "select another row" << "选中的设备已不是本窗口的设备，请重新打开设备详情！";
}

void TestEndToEnd::refusedConfirmationSendsNoWrite()
{
    QFETCH(QString, change);
    QFETCH(QString, message);

    QPointer<SubPlcInfo> detail = openDetails(QStringLiteral("02:4B:56:10:00:02"));
    QVERIFY(detail);
    const qsizetype before = simulator->lines().size();
    if (change == QLatin1String("refresh")) { // the user confirms before any device has answered it
        use(window, "refreshUserBtn");
    } else if (change == QLatin1String("select another row")) {
        table->selectRow(3);
    } else if (auto *edit = detail->findChild<QLineEdit *>(change.section(u'=', 0, 0))) {
        edit->clear();
        QTest::keyClicks(edit, change.section(u'=', 1));
    }

    // The warning's own event loop runs inside the click.
    const QList<kvrtest::Modal> modals = kvrtest::closingModals([&] { use(detail, "confirmBtn"); });
    QVERIFY(kvrtest::isOneWarning(modals, QStringLiteral("操作失败："), message, detail));
    QVERIFY(detail && detail->isVisible());

    // Only LED frames and searches reached the devices: no write frame of any shape.
    const QStringList lines = linesUntilMarker(*simulator, before);
    const QRegularExpression other(QStringLiteral("^(?!led |ignored LED frame|search from)"));
    QVERIFY2(lines.filter(other).isEmpty(), qPrintable(lines.join(u'\n')));
}

void TestEndToEnd::writeIsFollowedUp_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("settings");  // IP, mask and gateway typed in
    QTest::addColumn<QString>("meanwhile"); // what happens once the detail window has closed
    QTest::addColumn<QString>("message");   // the last one in the status bar; none: it ends without a word
    QTest::addColumn<QString>("row");       // the device's row then

    // Taken under the name the device reported, not the model name listed, and found at the new
    // address without a refresh: its row, in place.
    QTest::newRow("in-subnet device listed by its model name, by unicast")
        << "02:4B:56:10:00:01" << "198.18.0.50|255.255.255.0|198.18.0.254" << ""
        << "设备KVR-CTL700-MQ16TRB（02:4B:56:10:00:01）已在新地址198.18.0.50应答，新设置已确认"
        << QString(sampleRows[0]).replace(QLatin1String("198.18.0.10"), QLatin1String("198.18.0.50"));
    QTest::newRow("foreign-subnet device, by broadcast on the adapter without the default route")
        << "02:4B:56:20:00:09" << "198.19.0.60|255.255.0.0|198.19.0.254" << ""
        << "设备FACTORY-HMI（02:4B:56:20:00:09）已在新地址198.19.0.60应答，新设置已确认"
        << "HMI|FACTORY-HMI|198.19.0.60|02:4B:56:20:00:09|255.255.0.0|198.19.0.254||";
    // No gateway: the window allows it and says what it means, the device refuses it. The note
    // comes with the write and again with the outcome.
    QTest::newRow("the device refuses the settings")
        << "02:4B:56:10:00:02" << "198.18.0.11|255.255.255.0|0.0.0.0" << ""
        << "设备FILLER-PLC-02（02:4B:56:10:00:02）仍以原来的设置应答（网关为198.18.0.254（发送的是0.0.0.0））："
           "设备拒绝了新设置，或尚未重新启动；如设备不会自动重启，请手动重启设备后刷新列表。"
           "请注意：网关为0.0.0.0，即没有网关：设备只能与本子网内的设备通信"
        << sampleRows[1];
    QTest::newRow("a device that ignores broadcast frames")
        << "02:4B:56:30:00:05" << "198.19.0.70|255.255.0.0|198.19.0.254" << ""
        << "设备OLD-PLANT-AXIS（02:4B:56:30:00:05）仍以原来的设置应答（IP地址为192.0.2.60（发送的是198.19.0.70），"
           "子网掩码为255.255.255.0（发送的是255.255.0.0），网关为192.0.2.1（发送的是198.19.0.254））："
           "设备拒绝了新设置，或尚未重新启动；如设备不会自动重启，请手动重启设备后刷新列表"
        << foreignRows[1];
    // The time limit runs out: a wait inherent in the case.
    QTest::newRow("not seen: the device's simulator stopped")
        << "02:4B:56:10:00:02" << "198.18.0.12|255.255.255.0|198.18.0.254" << "stop simulator"
        << "设备FILLER-PLC-02（02:4B:56:10:00:02）在3.1秒内没有应答，无法确认新设置是否生效：请检查设备后刷新列表"
        << sampleRows[1];
    QTest::newRow("the user refreshes") << "02:4B:56:10:00:02" << "198.18.0.12|255.255.255.0|198.18.0.254"
                                        << "refreshUserBtn" << "" << "";
    QTest::newRow("the user opens details") << "02:4B:56:10:00:02" << "198.18.0.12|255.255.255.0|198.18.0.254"
                                            << "detailedInfoBtn" << "" << "";
}

void TestEndToEnd::writeIsFollowedUp()
{
    QFETCH(QString, mac);
    QFETCH(QString, settings);
    QFETCH(QString, meanwhile);
    QFETCH(QString, message);
    QFETCH(QString, row);

    startSimulator(foreignDevices, 1);
    QPointer<SubPlcInfo> detail = openDetails(mac, int(sampleRows.size() + foreignRows.size()));
    QVERIFY(detail);
    const QStringList fields{QStringLiteral("plcIP_Addr"), QStringLiteral("subnetMaskAddr"), QStringLiteral("subGateWayAddr")};
    for (int i = 0; i < fields.size(); ++i) {
        auto *edit = detail->findChild<QLineEdit *>(fields[i]);
        edit->clear();
        QTest::keyClicks(edit, settings.section(u'|', i, i));
    }
    use(detail, "confirmBtn");
    QTRY_VERIFY(!detail || !detail->isVisible());
    const QString sent = window->statusBar()->currentMessage();
    QVERIFY(sent.startsWith(QStringLiteral("新设置已发送到设备")));
    // What the address checks found is said with the write, before the device has answered.
    const qsizetype notes = message.indexOf(QStringLiteral("请注意："));
    QCOMPARE(sent.section(QStringLiteral("请注意："), 1), notes < 0 ? QString() : message.mid(notes + 4));

    if (meanwhile == QLatin1String("stop simulator"))
        simulator->stop();
    else if (!meanwhile.isEmpty())
        use(window, qPrintable(meanwhile));
    if (message.isEmpty()) { // the user's action comes first: the follow-up's message goes with it
        QVERIFY(!window->findChild<WriteFollowUp *>()->isRunning());
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(), message, 10000);
    QCOMPARE(kvrtest::rowTexts(table).filter(mac), QStringList{row});
}

// Presses keys where the keyboard focus is, as a user does; `text` is typed.
static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClick(focus, Qt::Key(key), modifiers);
    }
}

// Search, choose the second row, open it, change its address and confirm, with keys only.
void TestEndToEnd::wholeFlowByKeyboardAlone()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    // From wherever the focus is, Tab reaches the refresh button: the last one, on the right.
    for (int i = 0; i < 4 && QApplication::focusWidget()->objectName() != QLatin1String("refreshUserBtn"); ++i)
        press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("refreshUserBtn"));
    press(Qt::Key_Space);
    QTRY_COMPARE(table->rowCount(), sampleRows.size());
    press(Qt::Key_Tab); // round to the list
    QCOMPARE(QApplication::focusWidget(), table);
    press(Qt::Key_Home, Qt::ControlModifier); // the first row
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    QPointer<SubPlcInfo> detail = kvrtest::shownDetailWindows().value(0);
    QVERIFY(detail);
    QCOMPARE(detail->getMacAddr(), QStringLiteral("02:4B:56:10:00:02"));
    QVERIFY(QTest::qWaitForWindowActive(detail));

    // The name field first, then the address.
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("plcIP_Addr"));
    press(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("198.18.0.61"));
    // Mask, gateway, points, MAC, the refresh button, then the confirm button on its right.
    press(Qt::Key_Tab, Qt::NoModifier, 6);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("confirmBtn"));
    press(Qt::Key_Space);
    QTRY_VERIFY(!detail);
    QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(),
                              QStringLiteral("设备FILLER-PLC-02（02:4B:56:10:00:02）已在新地址198.18.0.61应答，新设置已确认"),
                              10000);
}

void TestEndToEnd::sharedAddressIsReachedByBroadcast()
{
    // Two new devices with one factory default behind the second adapter: a unicast to that
    // address reaches the first only, so the second one's frames go by broadcast, naming its MAC.
    startSimulator(QStringLiteral("--device type=PLC,name=NEW-PLC-A,mac=02:4B:56:10:00:0A,ip=198.19.0.33,mask=255.255.0.0,"
                                  "gateway=198.19.0.254 --device type=PLC,name=NEW-PLC-B,mac=02:4B:56:10:00:0B,"
                                  "ip=198.19.0.33,mask=255.255.0.0,gateway=198.19.0.254"),
                   1);
    QPointer<SubPlcInfo> detail = openDetails(QStringLiteral("02:4B:56:10:00:0B"), int(sampleRows.size()) + 2);
    QVERIFY(detail);
    QTRY_VERIFY2(second->printedSince(0, QStringLiteral("led \"NEW-PLC-B\" 02:4B:56:10:00:0B flashing")),
                 qPrintable(second->lines().join(u'\n')));
    QVERIFY2(!second->printedSince(0, QStringLiteral("ignored")), qPrintable(second->lines().join(u'\n')));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
