// The main window on real sockets, inside the private network namespace of tools/isolated.sh:
// the window's endpoint binds port 102 on every address; a test "device" bound to 192.168.1.2:102,
// the sample row's address (on loopback in the namespace), sends its replies to 127.0.0.1:102 and
// gets the LED frames for the sample row (a socket bound to a specific address wins unicast
// datagrams over a wildcard one, so each side gets only what is sent to it).

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/devicetable.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QAction>
#include <QDialog>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>
#include <QWindow>

#include <memory>

using kvrtest::cells;
using kvrtest::hex;

namespace {
const QHostAddress endpoint(QStringLiteral("127.0.0.1"));

// A device reply: MAC 00:1B:1B:00:00:<last>, IP 10.1.2.<last>, mask 255.255.255.0, gateway 10.1.2.254,
// version 2.1.7, points 0.16.0.8.
QByteArray reply(quint8 typeCode, char last, const QByteArray &name)
{
    Frame::DeviceReply device{{}, hex("001B1B000000"), name, hex("020107"), hex("0A010200FFFFFF000A0102FE"),
                              hex("00100008")};
    device.mac[5] = last;
    device.netAddr[3] = last;
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

    void startsEmptyAndSilent();
    void bindFailureIsShownInStatusBar();
    void menusDialogsAndButtons();
    void refreshSendsOneSearchAndEmptiesTable();
    void repliesBecomeRowsOncePerDevice();
    void rowCountIsCappedAt127();
    void detailsWithoutCurrentRowOpenNothing();
    void oneDetailWindowFlashesUntilClosed_data();
    void oneDetailWindowFlashesUntilClosed();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>(QStringLiteral("tableWidget")); }
    QList<QStringList> tableTexts() const;
    void use(const char *buttonOrAction);
    void dropWindow();
    void feedReplies(const QList<QByteArray> &replies);
    int ledCount(Frame::LedCommand command);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QUdpSocket> device;
    QList<QByteArray> ledFrames; // what has reached the device so far
};

void TestMainWindow::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    ledFrames.clear();
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

QList<QStringList> TestMainWindow::tableTexts() const
{
    QList<QStringList> rows(table()->rowCount());
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < DeviceColumn::Count; ++column)
            rows[row].append(table()->item(row, column) ? table()->item(row, column)->text() : QStringLiteral("<none>"));
    }
    return rows;
}

void TestMainWindow::use(const char *buttonOrAction)
{
    if (auto *button = window->findChild<QPushButton *>(QLatin1String(buttonOrAction)))
        button->click();
    else if (auto *action = window->findChild<QAction *>(QLatin1String(buttonOrAction)))
        action->trigger();
    else
        QFAIL(buttonOrAction);
}

void TestMainWindow::feedReplies(const QList<QByteArray> &replies)
{
    // Every reply here is a valid one, so each is announced once; the row is built inside the signal.
    QSignalSpy announced(g_mySocket, &MySocket::updPackReceived);
    for (const QByteArray &datagram : replies)
        QCOMPARE(device->writeDatagram(datagram, endpoint, Frame::DevicePort), datagram.size());
    QTRY_COMPARE_WITH_TIMEOUT(announced.size(), replies.size(), 3000);
}

int TestMainWindow::ledCount(Frame::LedCommand command)
{
    while (device->hasPendingDatagrams())
        ledFrames.append(device->receiveDatagram().data());
    const QByteArray ending = command == Frame::LedCommand::Flash ? hex("0002") : hex("0000");
    return int(std::count_if(ledFrames.cbegin(), ledFrames.cend(),
                             [&](const QByteArray &frame) { return frame.endsWith(ending); }));
}

void TestMainWindow::startsEmptyAndSilent()
{
    dropWindow();
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
    window = std::make_unique<MainWindow>();
    window->show();
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QTest::qWait(500);
    QVERIFY2(!listener.hasPendingDatagrams(), "a search went out before the user asked for one");
}

void TestMainWindow::bindFailureIsShownInStatusBar()
{
    dropWindow();
    // Holding the port without sharing it makes the endpoint's shared bind fail.
    QUdpSocket blocker;
    QVERIFY(blocker.bind(endpoint, Frame::DevicePort, QUdpSocket::DontShareAddress));
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("无法使用UDP端口102，找不到设备：请以root身份运行，或执行 make setcap 授予端口权限"));
    // The window runs on.
    use("actionDebug");
    QCOMPARE(table()->rowCount(), 1);
}

void TestMainWindow::menusDialogsAndButtons()
{
    // No separators, and "F5" and "F1" are parts of texts, not shortcuts: the keys do nothing.
    QCOMPARE(kvrtest::menuTexts(window.get(), "menuBar|menuSetting|menuLanguage|menuHelp"),
             cells("设置|帮助|刷新用户列表 F5|语言|中文|English|帮助 F1|主机信息|关于|调试：增加子设备"));
    use("actionDebug");
    QTest::keyClick(table(), Qt::Key_F5);
    QCOMPARE(table()->rowCount(), 1);

    // Neither language action changes a text, and help has no page: they all show About.
    const std::pair<const char *, const char *> dialogs[] = {{"actionChinese", "About"}, {"actionEnglish", "About"},
        {"actionHelp", "About"}, {"actionAbout", "About"}, {"actionInfo", "Info"}};
    for (const auto &[action, dialog] : dialogs) {
        kvrtest::ModalCloser modal;
        use(action);
        QVERIFY2(modal.seen.size() == 1 && modal.seen[0].className == dialog && modal.seen[0].parent == window.get()
                     && modal.seen[0].modality == Qt::ApplicationModal,
                 action);
        // Closed dialogs do not pile up under the window.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(window->findChildren<QDialog *>().isEmpty(), action);
    }

    // The form's fixed positions leave little room under the buttons: none may be covered.
    const int statusBarTop = window->statusBar()->geometry().top();
    for (const char *name : {"refreshUserBtn", "detailedInfoBtn"}) {
        const auto *button = window->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY2(button && button->mapTo(window.get(), QPoint(0, button->height())).y() <= statusBarTop, name);
    }
}

void TestMainWindow::refreshSendsOneSearchAndEmptiesTable()
{
    for (const char *refresh : {"refreshUserBtn", "actionRefresh"}) {
        // The emptied table takes rows again from index 0, also for a device it listed before.
        use("actionDebug");
        feedReplies({reply(1, 1, "DEVICE-1")});
        QCOMPARE(table()->rowCount(), 2);

        // A second wildcard socket on the port would share the unicast replies, so it lives only
        // while the search is awaited.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
        const quint32 seq = g_mySocket->nextFrameSeq();
        use(refresh);
        QCOMPARE(table()->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(listener.hasPendingDatagrams(), 3000);
        QCOMPARE(listener.receiveDatagram().data(), Frame::encodeSearch(seq));
        QTest::qWait(300);
        QVERIFY2(!listener.hasPendingDatagrams(), refresh);
    }
}

void TestMainWindow::repliesBecomeRowsOncePerDevice()
{
    // Not listed: a device with the sample row's MAC, and a listed device's second reply, though
    // its other fields differ.
    use("actionDebug");
    const Frame::DeviceReply sampleTwin{{}, hex("50E549CE2E4A"), "TWIN-1", {}, hex("0A010201FFFFFF000A0102FE"), {}};
    feedReplies({reply(2, 7, "PANEL-7"), Frame::encodeReply(1, sampleTwin, 0), reply(1, 7, "PANEL-7-AGAIN"),
                 reply(3, 3, " CTR516-K\t")});
    QCOMPARE(tableTexts(),
             (QList<QStringList>{kvrtest::sampleRow(),
                                 cells("HMI|PANEL-7|10.1.2.7|00:1B:1B:00:00:07|255.255.255.0|10.1.2.254|2.1.7|0.16.0.8"),
                                 cells("SERVO|KVR-CTL700-MQ16TRB|10.1.2.3|00:1B:1B:00:00:03|255.255.255.0|10.1.2.254|"
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
    QCOMPARE(tableTexts().constLast(), kvrtest::sampleRow());
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("设备列表已满（127 台），请刷新后重试"));

    // A refresh takes the message away and makes room again.
    use("actionRefresh");
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 1);
}

void TestMainWindow::detailsWithoutCurrentRowOpenNothing()
{
    // Not reachable by mouse or keyboard, but the cells of a missing row must never be read.
    use("actionDebug");
    table()->setCurrentCell(-1, -1);
    const quint32 seq = g_mySocket->nextFrameSeq();
    kvrtest::ModalCloser modal;
    use("detailedInfoBtn");
    QVERIFY(modal.sawOneWarning(QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"), window.get()));
    QVERIFY(kvrtest::shownDetailWindows().isEmpty());
    QCOMPARE(g_mySocket->nextFrameSeq(), seq);
    QVERIFY(!g_mySocket->isFlashing());
}

void TestMainWindow::oneDetailWindowFlashesUntilClosed_data()
{
    QTest::addColumn<bool>("refreshFirst");
    QTest::newRow("closed by the title bar's control: one off frame") << false;
    // The off frame names the device the window was opened for, not a row of the list.
    QTest::newRow("refreshed while open, closed with the list empty: one off frame") << true;
}

void TestMainWindow::oneDetailWindowFlashesUntilClosed()
{
    QFETCH(bool, refreshFirst);
    use("actionDebug");
    // QTest's double click alone does not reach the view as one: the first click comes separately.
    const QPoint cell = table()->visualItemRect(table()->item(0, DeviceColumn::IpAddress)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    // The device is told again and again while the window is open.
    QTRY_VERIFY_WITH_TIMEOUT(ledCount(Frame::LedCommand::Flash) >= 3, 5000);

    // No second window, not even after a refresh; the first one flashes on.
    if (refreshFirst)
        use("actionRefresh");
    use("actionDebug");
    kvrtest::ModalCloser modal;
    use("detailedInfoBtn");
    QVERIFY(modal.sawOneWarning(QStringLiteral("打开设备详情失败："),
                                QStringLiteral("正在设置一个子设备，请关闭后再尝试!"), window.get()));
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    QVERIFY(g_mySocket->isFlashing());
    QCOMPARE(ledCount(Frame::LedCommand::Off), 0);

    if (refreshFirst)
        use("actionRefresh");
    QVERIFY(kvrtest::shownDetailWindows().constFirst()->windowHandle()->close());
    QVERIFY(kvrtest::shownDetailWindows().isEmpty());
    QVERIFY(!g_mySocket->isFlashing());
    QTRY_COMPARE_WITH_TIMEOUT(ledCount(Frame::LedCommand::Off), 1, 3000);
    QCOMPARE(ledFrames.constLast().mid(26, 6), QByteArray::fromHex("50E549CE2E4A"));

    // The next opening is allowed, and the LEDs flash again.
    const int flashes = ledCount(Frame::LedCommand::Flash);
    use("actionDebug");
    use("detailedInfoBtn");
    QCOMPARE(kvrtest::shownDetailWindows().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ledCount(Frame::LedCommand::Flash) > flashes, 3000);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
