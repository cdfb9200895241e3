// The whole tool against simulated devices across a network: kvrctl700-devsim plays the sample
// devices in a namespace of its own, joined to this test's namespace by a veth cable, and the real
// windows are driven through their widgets, found by object name, on the offscreen platform.
// What the devices saw is read from the simulator's report lines.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "protocol/frame.h"
#include "simulatorprocess.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>

#include <memory>

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

void click(QWidget *parent, const char *objectName)
{
    auto *button = parent->findChild<QPushButton *>(QLatin1String(objectName));
    QVERIFY2(button, objectName);
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList listedRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < table->columnCount(); ++column)
            texts.append(table->item(row, column) ? table->item(row, column)->text() : QStringLiteral("<none>"));
        rows.append(texts.join(u'|'));
    }
    return rows;
}

SubPlcInfo *detailWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *detail = qobject_cast<SubPlcInfo *>(widget); detail && detail->isVisible())
            return detail;
    }
    return nullptr;
}

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
    void init();
    void cleanup();
    void cleanupTestCase() { delete window; }

    void refreshListsTheDevicesThatAnswer();
    void openDetailsFlashUntilClosed();
    void confirmedChangeIsTakenAfterTheRestart();
    void refusedConfirmationSendsNoWrite_data();
    void refusedConfirmationSendsNoWrite();

private:
    void refreshAndWaitForAllDevices();
    SubPlcInfo *openDetails(int row);
    QString simulatorLines() const { return simulator->lines().join(u'\n'); }

    MainWindow *window = nullptr;
    QTableWidget *table = nullptr;
    std::unique_ptr<DevSim::SimulatorProcess> simulator;
};

void TestEndToEnd::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
    QVERIFY2(!QNetworkInterface::interfaceFromName(QStringLiteral("kvr0")).isValid(), "needs --loopback-only");
    // One window for the whole run: it makes the one endpoint, bound to port 102 here.
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QVERIFY(table);
}

void TestEndToEnd::init()
{
    simulator = std::make_unique<DevSim::SimulatorProcess>();
    const QStringList arguments = QStringLiteral("--restart-ms 500 --led-timeout-ms %1").arg(LedTimeoutMs).split(u' ');
    const std::optional<QString> failure = simulator->start(QStringLiteral(KVR_DEVSIM_PATH), arguments);
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
}

void TestEndToEnd::cleanup()
{
    if (SubPlcInfo *detail = detailWindow())
        detail->close();
    simulator.reset();
}

void TestEndToEnd::refreshAndWaitForAllDevices()
{
    click(window, "refreshUserBtn");
    QTRY_COMPARE(table->rowCount(), sampleRows.size());
}

SubPlcInfo *TestEndToEnd::openDetails(int row)
{
    refreshAndWaitForAllDevices();
    table->selectRow(row);
    click(window, "detailedInfoBtn");
    return detailWindow();
}

void TestEndToEnd::refreshListsTheDevicesThatAnswer()
{
    refreshAndWaitForAllDevices();
    QCOMPARE(listedRows(table), sampleRows);

    // Devices that stop answering leave an empty list after the next refresh; details then open
    // nothing and send nothing.
    simulator->stop();
    click(window, "refreshUserBtn");
    init();
    const qsizetype before = simulator->lines().size();
    kvrtest::ModalCloser closer;
    click(window, "detailedInfoBtn");
    QVERIFY(closer.sawOneWarning(QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"), window));
    QVERIFY(!detailWindow());
    QCOMPARE(linesUntilMarker(*simulator, before), QStringList());
}

void TestEndToEnd::openDetailsFlashUntilClosed()
{
    const QString led = QStringLiteral("led \"PACKLINE-HMI\" 02:4B:56:20:00:01 ");
    QPointer<SubPlcInfo> detail = openDetails(2); // without a window nothing flashes: the next check fails first
    QTRY_VERIFY2(simulator->lines().contains(led + QLatin1String("flashing")), qPrintable(simulatorLines()));

    // The tool's repeated flash commands keep it flashing well past the device's own time-out;
    // closing turns it off at once, and closed means closed: nothing more reaches the devices.
    const qsizetype opened = simulator->lines().size();
    QTest::qWait(2 * LedTimeoutMs);
    detail->close();
    QTest::qWait(1500);
    QCOMPARE(linesUntilMarker(*simulator, opened), QStringList{led + QLatin1String("off")});
}

void TestEndToEnd::confirmedChangeIsTakenAfterTheRestart()
{
    QPointer<SubPlcInfo> detail = openDetails(0); // listed by its model name, "KVR-CTL700-MQ16TRB"
    QVERIFY(detail);
    auto *address = detail->findChild<QLineEdit *>(QStringLiteral("plcIP_Addr"));
    QVERIFY(address);
    address->clear();
    QTest::keyClicks(address, QStringLiteral("198.18.0.50"));

    const qsizetype before = simulator->lines().size();
    click(detail, "confirmBtn");
    QTRY_VERIFY(!detail || !detail->isVisible());
    // Sent to the old address, taken with the name the device reported, not the model name shown.
    const QString accepted = QStringLiteral("write \"CTR516-K\" 02:4B:56:10:00:01 accepted: restarting for 500 ms as "
                                            "PLC \"CTR516-K\" 02:4B:56:10:00:01 198.18.0.50/24 gateway 198.18.0.254");
    QTRY_VERIFY2(simulator->printedSince(before, accepted), qPrintable(simulatorLines()));
    QTRY_VERIFY_WITH_TIMEOUT(simulator->printedSince(before, QStringLiteral("restarted PLC \"CTR516-K\"")), 5000);

    refreshAndWaitForAllDevices();
    QCOMPARE(listedRows(table),
             QStringList(sampleRows).replaceInStrings(QLatin1String("198.18.0.10"), QLatin1String("198.18.0.50")));
}

void TestEndToEnd::refusedConfirmationSendsNoWrite_data()
{
    QTest::addColumn<QString>("action"); // a field the user retypes, or what the user does meanwhile
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("incomplete IP address") << "plcIP_Addr" << "198.18.0." << "IP地址不完整！";
    QTest::newRow("incomplete subnet mask") << "subnetMaskAddr" << "255.255" << "子网掩码不完整！";
    QTest::newRow("empty gateway") << "subGateWayAddr" << "" << "网关不完整！";
    QTest::newRow("list emptied by a refresh") << "refresh" << "" << "设备列表中没有选中的设备，请刷新后重新打开！";
    QTest::newRow("another device selected") << "select another row" << ""
                                             << "选中的设备已不是本窗口的设备，请重新打开设备详情！";
}

void TestEndToEnd::refusedConfirmationSendsNoWrite()
{
    QFETCH(QString, action);
    QFETCH(QString, text);
    QFETCH(QString, message);

    QPointer<SubPlcInfo> detail = openDetails(1);
    QVERIFY(detail);
    const qsizetype before = simulator->lines().size();
    if (action == QLatin1String("refresh")) { // the user confirms before any device has answered it
        click(window, "refreshUserBtn");
    } else if (action == QLatin1String("select another row")) {
        table->selectRow(3);
    } else if (auto *edit = detail->findChild<QLineEdit *>(action)) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    kvrtest::ModalCloser closer;
    click(detail, "confirmBtn"); // the warning's own event loop runs inside the click
    QVERIFY(closer.sawOneWarning(QStringLiteral("操作失败："), message, detail));
    QVERIFY(detail && detail->isVisible());

    // Only LED frames and searches reached the devices: no write frame of any shape.
    const QStringList lines = linesUntilMarker(*simulator, before);
    const QRegularExpression other(QStringLiteral("^(?!led |ignored LED frame|search from)"));
    QVERIFY2(lines.filter(other).isEmpty(), qPrintable(lines.join(u'\n')));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
