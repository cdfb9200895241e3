// The main window on real sockets, inside the private network namespace of tools/isolated.sh:
// the window's endpoint binds port 102 on every address, and a test "device" bound to
// 192.168.1.2:102 (on loopback in the namespace) sends its replies to 127.0.0.1:102. Searching,
// flashing and writing against devices across a network: tst_endtoend.

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "detail/devicetable.h"
#include "mainwindow/statusarea.h"
#include "mainwindow/statustexts.h"
#include "mainwindow/writefollowup.h"
#include "protocol/deviceport.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/claimsquatter.h"
#include "support/fakelink.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

// The widest name a device can report (16 bytes), and addresses of the widest texts.
const QString widestName = QStringLiteral("WWWWWWWWWWWWWWWW");
const QByteArray widestMac = hex("DDDDDDDDDDDD");
const AddressCheck::Settings before{0xC6DEDEDE, 0xFFFFFF00, 0xC6DEDEFE};  // 198.222.222.222/24 via .254
const AddressCheck::Settings written{0xC6DDDDDD, 0xFFFFFFF8, 0xC6DDDDDE}; // 198.221.221.221/29 via .222

struct Answer
{
    AddressCheck::Settings settings;
    int adapter = 2;
    quint32 source = 0; // 0: the address the answer reports
};

// The messages of the follow-up of a write by unicast on adapter 2, the device answering the
// first search with `answers`, for the widest device name: the first says it was sent, the last how
// it ended.
QList<StatusMessage> followUpMessages(const QList<Answer> &answers, const QStringList &warnings = {},
                                      int searchMs = 60000)
{
    kvrtest::FakeLink link;
    WriteFollowUp followUp(link);
    followUp.setTimeLimits(0, searchMs);
    QSignalSpy messages(&followUp, &WriteFollowUp::message);
    followUp.start(widestMac, widestName, {written, 2, true}, before,
                   {{QStringLiteral("eth0"), 2, {}}, {QStringLiteral("eth1"), 3, {}}}, warnings);
    if (QTest::qWaitFor([&link] { return !link.sent.isEmpty(); }, 5000)) {
        for (const Answer &answer : answers)
            link.reply(widestMac, answer.settings, answer.adapter, answer.source ? answer.source : answer.settings.ip);
    }
    messages.wait(5000);
    QList<StatusMessage> texts;
    for (const QList<QVariant> &message : std::as_const(messages))
        texts.append({message.at(0).toString(), message.at(1).toString()});
    return texts;
}

// The message the follow-up shows: "sent", "sent with warnings", "verified", "old settings",
// "other settings", "conflicting answers" or "not seen".
StatusMessage followUpMessage(const QString &outcome)
{
    const QStringList warnings{QStringLiteral("子网掩码255.255.255.254没有给其他主机留下地址"),
                               QStringLiteral("网关为0.0.0.0，即没有网关：设备只能与本子网内的设备通信")};
    const QList<StatusMessage> texts =
        outcome == QLatin1String("sent")                ? followUpMessages({{written}})
        : outcome == QLatin1String("sent with warnings") ? followUpMessages({{written}}, warnings)
        : outcome == QLatin1String("verified")           ? followUpMessages({{written}})
        : outcome == QLatin1String("old settings")       ? followUpMessages({{before}})
        : outcome == QLatin1String("other settings") ? followUpMessages({{{before.ip, written.mask, before.gateway}}})
        : outcome == QLatin1String("conflicting answers") ? followUpMessages({{written}, {before}})
                                                          : followUpMessages({}, {}, 0);
    if (texts.isEmpty())
        return {};
    return outcome.startsWith(QLatin1String("sent")) ? texts.constFirst() : texts.constLast();
}

// Presses a key where the keyboard focus is, as a user does.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key(key), modifiers);
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
    void actionsOpenTheirDialogs();
    void detailsRefusedWhereNoFrameMayGo_data();
    void detailsRefusedWhereNoFrameMayGo();
    void highlightedRowIsTheOneActedOn();
    void portHeldElsewhereIsShown();
    void statusMessagesAreReadableWhole_data();
    void statusMessagesAreReadableWhole();
    void fullListIsCappedAndAnnounced();
    void keyboardReachesTheDetails();
    void helpAndVersionAnswerInTheTerminal();
    void portClaimNoOneCanHold();
    void followUpSaysWhatTheDeviceProved_data();
    void followUpSaysWhatTheDeviceProved();

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

void TestMainWindow::statusMessagesAreReadableWhole_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind :
         {"port held by another kvrctl700 program", "port in use by another program", "port needs the right to bind",
          "port fails otherwise", "search left by no adapter", "search left by some adapters only", "list full",
          "sent", "sent with warnings", "verified", "old settings", "other settings", "conflicting answers",
          "not seen"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// Every message the status bar can show, rendered in the window at its fixed size: the line shows
// the whole text or the message's headline, and it fits; the tool tip and the accessible
// description hold the whole text.
void TestMainWindow::statusMessagesAreReadableWhole()
{
    QFETCH(QString, kind);
    DevicePort::Opening port;
    port.holder = QStringLiteral("kvrctl700 (PID 4194304)");
    port.detail = QStringLiteral("Unable to bind the address: the address is not available");
    const QString longPath = QStringLiteral("/home/commissioning-engineer/projects/line-4-packaging/build/kvrctl700");
    StatusMessage message;
    if (kind.startsWith(QLatin1String("port"))) {
        port.outcome = kind.contains(QLatin1String("kvrctl700")) ? DevicePort::Opening::HeldByAnotherProgram
                       : kind.contains(QLatin1String("in use"))  ? DevicePort::Opening::InUse
                       : kind.contains(QLatin1String("right"))   ? DevicePort::Opening::NotPermitted
                                                                 : DevicePort::Opening::Failed;
        message = StatusTexts::portProblem(port, longPath);
    } else if (kind == QLatin1String("search left by no adapter")) {
        message = StatusTexts::searchNotSent();
    } else if (kind == QLatin1String("search left by some adapters only")) {
        message = StatusTexts::searchPartlySent({QStringLiteral("enx00e04c680a1b"), QStringLiteral("wlp0s20f3abcdef")});
    } else if (kind == QLatin1String("list full")) {
        message = StatusTexts::listFull(MainWindow::MaxDeviceRows);
    } else {
        message = followUpMessage(kind);
    }
    QVERIFY2(!message.text.isEmpty() && !message.headline.isEmpty(), qPrintable(kind));

    auto *status = window->findChild<StatusArea *>();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    status->showStatus(message);
    const QImage picture = window->grab().toImage();
    QCOMPARE(window->size(), QSize(666, 459));

    QLabel *line = status->messageLabel();
    const QRect onWindow(line->mapTo(window.get(), QPoint(0, 0)), line->size());
    QVERIFY(line->isVisible() && window->rect().contains(onWindow));
    const QString shown = line->text();
    QVERIFY2(shown == message.text || shown == message.headline || shown == message.headline + QStringLiteral("…"),
             qPrintable(shown));
    QVERIFY2(line->fontMetrics().horizontalAdvance(shown) <= line->contentsRect().width(), qPrintable(shown));
    // Something was drawn on the line.
    const QColor background = picture.pixelColor(onWindow.topLeft());
    bool drawn = false;
    for (int x = onWindow.left(); x <= onWindow.right() && !drawn; ++x)
        drawn = picture.pixelColor(x, onWindow.center().y()) != background;
    QVERIFY(drawn);

    QCOMPARE(line->toolTip(), message.text);
    QAccessibleInterface *access = QAccessible::queryAccessibleInterface(line);
    QCOMPARE(access->text(QAccessible::Description), message.text);
    QCOMPARE(window->statusBar()->currentMessage(), message.text);
}

// A new device gets no 128th row; the status bar says why, raising once the event on which Orca
// speaks a notification with the whole text; a refresh makes room and clears it without a word.
void TestMainWindow::fullListIsCappedAndAnnounced()
{
    kvrtest::AccessibilityEvents events;
    QVERIFY(QAccessible::isActive());
    for (int i = 0; i < MainWindow::MaxDeviceRows; ++i)
        use("actionDebug");
    feedReplies({reply(1, 1, "DEVICE-1"), reply(2, 2, "PANEL-2")});
    QCOMPARE(table()->rowCount(), 127);
    QCOMPARE(table()->currentRow(), 126);
    QCOMPARE(kvrtest::rowTexts(table()).constLast(), kvrtest::sampleRow().join(u'|'));
    const QString full = QStringLiteral("设备列表已满（127 台），请刷新后重试");
    QCOMPARE(window->statusBar()->currentMessage(), full);
    QCOMPARE(events.notificationsShown(), QStringList{full});
    use("actionRefresh");
    QVERIFY(table()->rowCount() == 0 && window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(events.notificationsShown(), QStringList{full});
}

// Tab and Shift+Tab leave the device list, from left to right through the buttons; Enter on a row
// opens that row's details, and Escape closes them as the close control does.
void TestMainWindow::keyboardReachesTheDetails()
{
    feedReplies({reply(1, 1, "DEVICE-1"), reply(2, 2, "PANEL-2"), reply(3, 3, "AXIS-3")});
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), table());
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("detailedInfoBtn"));
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("refreshUserBtn"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), table());
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(QApplication::focusWidget() != table());
    press(Qt::Key_Tab);

    press(Qt::Key_Home, Qt::ControlModifier); // the first row
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    SubPlcInfo *detail = kvrtest::shownDetailWindows().constFirst();
    QCOMPARE(detail->getMacAddr(), QStringLiteral("00:1B:1B:00:00:02"));
    QVERIFY(g_mySocket->isFlashing());
    detail->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(detail));
    press(Qt::Key_Escape);
    QVERIFY(kvrtest::shownDetailWindows().isEmpty());
    QVERIFY(!g_mySocket->isFlashing());

    // F10 opens the first menu, the way to the functions that have no button; Escape closes it.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_F10);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QCOMPARE(QApplication::activePopupWidget()->objectName(), QStringLiteral("menuSetting"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    // The keypad's Enter opens the details too.
    table()->setFocus();
    press(Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
}

// Without a display to open a window on: a program that tried would fail.
void TestMainWindow::helpAndVersionAnswerInTheTerminal()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const auto run = [&](const QString &option, const QString &output = {}) {
        QProcess program;
        program.setProcessEnvironment(environment);
        if (!output.isEmpty())
            program.setStandardOutputFile(output);
        program.start(QStringLiteral(KVR_APP_PATH), {option});
        program.waitForFinished(10000);
        return std::make_pair(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                              QString::fromUtf8(program.readAllStandardOutput()));
    };
    const auto help = run(QStringLiteral("--help"));
    QCOMPARE(help.first, 0);
    QVERIFY2(help.second.startsWith(QLatin1String("Usage: kvrctl700 [Qt options]\n")), qPrintable(help.second));
    QCOMPARE(run(QStringLiteral("-h")), help);
    QCOMPARE(run(QStringLiteral("--version")), std::make_pair(0, QStringLiteral("kvrctl700 1.0.0\n")));
    // An answer that could not be written is an error.
    QCOMPARE(run(QStringLiteral("--version"), QStringLiteral("/dev/full")).first, 1);
}

void TestMainWindow::portClaimNoOneCanHold()
{
    // The window's claim went with its socket. A squatter takes the name and never answers, while
    // the port is held (by the test's device): the window opens at once, and names the holder by
    // the process id the system gives once the question has timed out.
    dropWindow();
    auto squatter = std::make_unique<kvrtest::ClaimSquatter>(kvrtest::ClaimSquatter::Silent, QByteArray());
    QVERIFY(squatter->isListening());
    QElapsedTimer started;
    started.start();
    window = std::make_unique<MainWindow>();
    qInfo("the window was built in %lld ms beside a silent holder", started.elapsed());
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("另一个kvrctl700程序正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序"));
    QTRY_COMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("另一个kvrctl700程序（PID %1）正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序")
                     .arg(QCoreApplication::applicationPid()));
    qInfo("... and named the holder after %lld ms", started.elapsed());
}

void TestMainWindow::followUpSaysWhatTheDeviceProved_data()
{
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<int>("searchMs");
    QTest::addColumn<QString>("headline");
    const QString name = widestName;
    const QString confirmed = QStringLiteral("设备%1已在新地址198.221.221.221应答，新设置已确认").arg(name);
    const QString oldSettings = QStringLiteral("设备%1仍以原来的设置应答：设备拒绝了新设置，或尚未重新启动").arg(name);
    QTest::newRow("confirmed") << QList<Answer>{{written}} << 60000 << confirmed;
    QTest::newRow("old settings") << QList<Answer>{{before}} << 60000 << oldSettings;
    QTest::newRow("other values") << QList<Answer>{{{written.ip, before.mask, written.gateway}}} << 60000
                                  << QStringLiteral("设备%1已应答，但没有采用新设置").arg(name);
    QTest::newRow("not seen") << QList<Answer>{} << 300
                              << QStringLiteral("设备%1在0.3秒内没有应答，无法确认新设置是否生效").arg(name);
    QTest::newRow("two voices for one MAC") << QList<Answer>{{written}, {before}} << 60000
                                            << QStringLiteral("设备%1的应答互相矛盾，无法确认新设置是否生效").arg(name);
    // The write left by adapter 2 to the device's address: the new settings from another adapter, or
    // from an address that is not the one they report, are not the device's word.
    QTest::newRow("an impostor's word is not the device's")
        << QList<Answer>{{written, 3}, {written, 2, written.ip + 1}, {before}} << 60000 << oldSettings;
}

// The window's follow-up is the engine's verification over the window's socket, in the window's words.
void TestMainWindow::followUpSaysWhatTheDeviceProved()
{
    QFETCH(QList<Answer>, answers);
    QFETCH(int, searchMs);
    QFETCH(QString, headline);
    const QList<StatusMessage> messages = followUpMessages(answers, {}, searchMs);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.constFirst().headline, QStringLiteral("新设置已发送到设备%1，正在等待设备重新启动…").arg(widestName));
    QCOMPARE(messages.constLast().headline, headline);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
