// The whole tool against simulated devices across a network: kvrctl700-devsim plays the sample
// devices in a namespace of its own, joined to this test's namespace by a veth cable, and the real
// windows are driven through their widgets, found by object name, on the offscreen platform.
// What the devices saw is read from the simulator's report lines.

#include "detail/subplcinfo.h"
#include "protocol/devicecontext.h"
#include "mainwindow/mainwindow.h"
#include "protocol/frame.h"
#include "simulatorprocess.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>

namespace {

constexpr int RestartMs = 500;
constexpr int LedTimeoutMs = 1500;

// What the user does in the main window between opening the details and confirming.
enum Meanwhile { Nothing, Refresh, SelectAnotherRow };

// The sample devices as the device table must list them, in the order they answer.
const char *const sampleTexts[][DeviceColumn::Count] = {
    {"PLC", "KVR-CTL700-MQ16TRB", "198.18.0.10", "02:4B:56:10:00:01", "255.255.255.0", "198.18.0.254", "1.2.0.0", "0.16.0.8"},
    {"PLC", "FILLER-PLC-02", "198.18.0.11", "02:4B:56:10:00:02", "255.255.255.0", "198.18.0.254", "1.3.2.0", "0.32.0.24"},
    {"HMI", "PACKLINE-HMI", "198.18.0.20", "02:4B:56:20:00:01", "255.255.255.0", "198.18.0.254", "2.0.4", ""},
    {"SERVO", "CONVEYOR-AXIS1", "198.18.0.30", "02:4B:56:30:00:01", "255.255.255.0", "198.18.0.254", "1.4.0", ""},
    {"VFD", "MIXER-VFD-07", "198.18.0.40", "02:4B:56:40:00:07", "255.255.255.0", "198.18.0.254", "", ""},
};

QList<QStringList> sampleRowTexts()
{
    QList<QStringList> rows;
    for (const auto &row : sampleTexts) {
        QStringList texts;
        for (const char *text : row)
            texts.append(QString::fromLatin1(text));
        rows.append(texts);
    }
    return rows;
}
const QList<QStringList> sampleRows = sampleRowTexts();

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void refreshListsEveryDevice();
    void openDetailsFlashUntilClosed();
    void confirmedChangeIsTakenAfterTheRestart();
    void refusedConfirmationSendsNoWrite_data();
    void refusedConfirmationSendsNoWrite();
    void emptyListOpensNothingAndSendsNothing();

private:
    QTableWidget *table() const;
    void click(QWidget *window, const char *objectName);
    QList<QStringList> listedRows() const;
    void refreshAndWaitForAllDevices();
    SubPlcInfo *openDetails(int row);
    SubPlcInfo *detailWindow() const;
    QStringList linesUntilMarker(qsizetype from);
    QString simulatorLines() const { return simulator->lines().join(u'\n'); }

    MainWindow *window = nullptr;
    DevSim::SimulatorProcess *simulator = nullptr;
};

void TestEndToEnd::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
    QVERIFY2(!QNetworkInterface::interfaceFromName(QStringLiteral("kvr0")).isValid(),
             "run under tools/isolated.sh --loopback-only");
    // One window for the whole run: it makes the one endpoint, bound to port 102 here.
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestEndToEnd::init()
{
    simulator = new DevSim::SimulatorProcess;
    const std::optional<QString> failure = simulator->start(
        QStringLiteral(KVR_DEVSIM_PATH), {QStringLiteral("--restart-ms"), QString::number(RestartMs),
                                          QStringLiteral("--led-timeout-ms"), QString::number(LedTimeoutMs)});
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
}

void TestEndToEnd::cleanup()
{
    if (SubPlcInfo *detail = detailWindow())
        detail->close();
    delete simulator;
    simulator = nullptr;
}

void TestEndToEnd::cleanupTestCase()
{
    delete window;
}

QTableWidget *TestEndToEnd::table() const
{
    return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

void TestEndToEnd::click(QWidget *parent, const char *objectName)
{
    auto *button = parent->findChild<QPushButton *>(QLatin1String(objectName));
    QVERIFY2(button, objectName);
    QTest::mouseClick(button, Qt::LeftButton);
}

QList<QStringList> TestEndToEnd::listedRows() const
{
    QList<QStringList> rows;
    for (int row = 0; row < table()->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < table()->columnCount(); ++column)
            texts.append(table()->item(row, column) ? table()->item(row, column)->text() : QStringLiteral("<none>"));
        rows.append(texts);
    }
    return rows;
}

void TestEndToEnd::refreshAndWaitForAllDevices()
{
    click(window, "refreshUserBtn");
    QTRY_COMPARE(table()->rowCount(), sampleRows.size());
}

SubPlcInfo *TestEndToEnd::detailWindow() const
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *detail = qobject_cast<SubPlcInfo *>(widget); detail && detail->isVisible())
            return detail;
    }
    return nullptr;
}

SubPlcInfo *TestEndToEnd::openDetails(int row)
{
    table()->selectRow(row);
    click(window, "detailedInfoBtn");
    return detailWindow();
}

// Every line the simulator prints from `from` on, up to a marker datagram sent now from another
// port: frames on one path keep their order, so whatever the tool sent before is in there.
QStringList TestEndToEnd::linesUntilMarker(qsizetype from)
{
    QUdpSocket marker;
    if (!marker.bind(QHostAddress(QString::fromLatin1(DevSim::SimulatorProcess::ToolAddress)), 0)
        || marker.writeDatagram("mark", QHostAddress(QStringLiteral("198.18.0.10")), Frame::DevicePort) != 4)
        return {QStringLiteral("cannot send the marker")};
    const QString markerLine = QStringLiteral("rejected 4 bytes from %1:%2:")
                                   .arg(QString::fromLatin1(DevSim::SimulatorProcess::ToolAddress))
                                   .arg(marker.localPort());
    if (!QTest::qWaitFor([&] { return simulator->printedSince(from, markerLine); }, 5000))
        return {QStringLiteral("no marker line")};
    QStringList lines = simulator->lines().mid(from);
    return lines.mid(0, lines.indexOf(markerLine + QLatin1String(" 4 bytes are too short for a header")));
}

void TestEndToEnd::refreshListsEveryDevice()
{
    refreshAndWaitForAllDevices();
    QCOMPARE(listedRows(), sampleRows);
    QVERIFY(simulator->lines().contains(QStringLiteral("search from 198.18.0.1:102 answered by 5 of 5 devices")));

    // A second search lists each device once again, not twice.
    refreshAndWaitForAllDevices();
    QCOMPARE(linesUntilMarker(0).count(QStringLiteral("search from 198.18.0.1:102 answered by 5 of 5 devices")), 2);
    QCOMPARE(listedRows(), sampleRows);
}

void TestEndToEnd::openDetailsFlashUntilClosed()
{
    refreshAndWaitForAllDevices();
    const QString led = QStringLiteral("led \"PACKLINE-HMI\" 02:4B:56:20:00:01 ");
    QPointer<SubPlcInfo> detail = openDetails(2);
    QVERIFY(detail);
    QTRY_VERIFY2(simulator->lines().contains(led + QLatin1String("flashing")), qPrintable(simulatorLines()));

    // The tool's repeated flash commands keep it flashing well past the device's own time-out.
    const qsizetype opened = simulator->lines().size();
    QTest::qWait(2 * LedTimeoutMs);
    QVERIFY2(!simulator->printedSince(opened, led), qPrintable(simulatorLines()));

    const qsizetype beforeClose = simulator->lines().size();
    auto *quit = detail->findChild<QAction *>(QStringLiteral("quitAction"));
    QVERIFY(quit);
    quit->trigger();
    QTRY_VERIFY(!detail || !detail->isVisible());
    QTRY_VERIFY2(simulator->printedSince(beforeClose, led + QLatin1String("off")), qPrintable(simulatorLines()));
    QCOMPARE(simulator->lines().mid(beforeClose).first(), led + QLatin1String("off"));

    // Closed means closed: over a few flash periods nothing more reaches the devices.
    QTest::qWait(1500);
    QCOMPARE(linesUntilMarker(beforeClose), QStringList{led + QLatin1String("off")});
}

void TestEndToEnd::confirmedChangeIsTakenAfterTheRestart()
{
    refreshAndWaitForAllDevices();
    QPointer<SubPlcInfo> detail = openDetails(0); // listed by its model name, "KVR-CTL700-MQ16TRB"
    QVERIFY(detail);
    auto *address = detail->findChild<QLineEdit *>(QStringLiteral("plcIP_Addr"));
    QVERIFY(address);
    QCOMPARE(address->text(), QStringLiteral("198.18.0.10"));
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("198.18.0.50"));
    QCOMPARE(address->text(), QStringLiteral("198.18.0.50"));

    const qsizetype before = simulator->lines().size();
    click(detail, "confirmBtn");
    QTRY_VERIFY(!detail || !detail->isVisible());
    // Sent to the old address, taken with the name the device reported, not the model name shown.
    const QString accepted = QStringLiteral("write \"CTR516-K\" 02:4B:56:10:00:01 accepted: restarting for 500 ms "
                                            "as PLC \"CTR516-K\" 02:4B:56:10:00:01 198.18.0.50/24 gateway "
                                            "198.18.0.254 version 1.2.0.0 points 0.16.0.8");
    QTRY_VERIFY2(simulator->printedSince(before, accepted), qPrintable(simulatorLines()));
    QTRY_VERIFY_WITH_TIMEOUT(simulator->printedSince(before, QStringLiteral("restarted PLC \"CTR516-K\"")), 5000);

    refreshAndWaitForAllDevices();
    QList<QStringList> expected = sampleRows;
    expected[0][DeviceColumn::IpAddress] = QStringLiteral("198.18.0.50");
    QCOMPARE(listedRows(), expected);
}

void TestEndToEnd::refusedConfirmationSendsNoWrite_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("meanwhile");
    QTest::addColumn<QString>("message");

    QTest::newRow("incomplete IP address") << QStringLiteral("plcIP_Addr") << QStringLiteral("198.18.0.")
                                           << int(Meanwhile::Nothing) << QStringLiteral("IP地址不完整！");
    QTest::newRow("incomplete subnet mask") << QStringLiteral("subnetMaskAddr") << QStringLiteral("255.255")
                                            << int(Meanwhile::Nothing) << QStringLiteral("子网掩码不完整！");
    QTest::newRow("empty gateway") << QStringLiteral("subGateWayAddr") << QString() << int(Meanwhile::Nothing)
                                   << QStringLiteral("网关不完整！");
    QTest::newRow("list emptied by a refresh") << QString() << QString() << int(Meanwhile::Refresh)
                                               << QStringLiteral("设备列表中没有选中的设备，请刷新后重新打开！");
    QTest::newRow("another device selected") << QString() << QString() << int(Meanwhile::SelectAnotherRow)
                                             << QStringLiteral("选中的设备已不是本窗口的设备，请重新打开设备详情！");
}

void TestEndToEnd::refusedConfirmationSendsNoWrite()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, meanwhile);
    QFETCH(QString, message);

    refreshAndWaitForAllDevices();
    QPointer<SubPlcInfo> detail = openDetails(1);
    QVERIFY(detail);
    QTRY_VERIFY(simulator->lines().contains(QStringLiteral("led \"FILLER-PLC-02\" 02:4B:56:10:00:02 flashing")));
    if (!field.isEmpty()) {
        auto *edit = detail->findChild<QLineEdit *>(field);
        QVERIFY(edit);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QCOMPARE(edit->text(), text);
    }

    const qsizetype before = simulator->lines().size();
    kvrtest::ModalCloser closer;
    if (meanwhile == Meanwhile::Refresh) // the user confirms before any device has answered it
        click(window, "refreshUserBtn");
    if (meanwhile == Meanwhile::SelectAnotherRow)
        table()->selectRow(3);
    click(detail, "confirmBtn"); // the warning's own event loop runs inside the click
    QVERIFY(closer.sawOneWarning(QStringLiteral("操作失败："), message, detail));
    QVERIFY(detail && detail->isVisible());

    const QStringList lines = linesUntilMarker(before);
    for (const QString &line : lines) {
        QVERIFY2(!line.startsWith(QLatin1String("write")) && !line.startsWith(QLatin1String("rejected"))
                     && !line.contains(QLatin1String("write frame")),
                 qPrintable(lines.join(u'\n')));
    }
}

void TestEndToEnd::emptyListOpensNothingAndSendsNothing()
{
    click(window, "refreshUserBtn");
    QTRY_COMPARE(table()->rowCount(), sampleRows.size());
    // Devices that stop answering leave an empty list after the next refresh.
    simulator->stop();
    click(window, "refreshUserBtn");
    QCOMPARE(table()->rowCount(), 0);
    init();

    const qsizetype before = simulator->lines().size();
    kvrtest::ModalCloser closer;
    click(window, "detailedInfoBtn");
    QVERIFY(closer.sawOneWarning(QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"), window));
    QVERIFY(!detailWindow());
    QCOMPARE(linesUntilMarker(before), QStringList());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
