// The main window on real sockets, inside the private network namespace of tools/isolated.sh:
// the window's endpoint binds port 102 on every address; a test "device" bound to 127.0.0.2:102
// sends its replies to 127.0.0.1:102 (a socket bound to a specific address wins unicast
// datagrams over a wildcard one, so the window's endpoint is the only one that gets them).

#include "detail/subplcinfo.h"
#include "mainwindow/mainwindow.h"
#include "protocol/devicecontext.h"
#include "protocol/frame.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QWindow>

#include <functional>
#include <memory>

using kvrtest::hex;
using kvrtest::ModalCloser;

namespace {
const QHostAddress endpoint(QStringLiteral("127.0.0.1"));
const QHostAddress deviceAddress(QStringLiteral("127.0.0.2"));
// The sample row's IP text "192.168.001.002" is this address, which sits on loopback in the namespace.
const QHostAddress sampleDeviceAddress(QStringLiteral("192.168.1.2"));
const QByteArray sampleMac = hex("50E549CE2E4A");

const QStringList sampleRow{
    QStringLiteral("PLC"),         QStringLiteral("KV516_K"),         QStringLiteral("192.168.001.002"),
    QStringLiteral("50:E5:49:CE:2E:4A"), QStringLiteral("255.255.255.000"), QStringLiteral("192.168.001.001"),
    QStringLiteral("001.000.000.000"),   QStringLiteral("00.16.00.00")};

// A device reply: MAC 00:1B:1B:00:00:<last>, IP 10.1.2.<last>, mask 255.255.255.0, gateway 10.1.2.254.
QByteArray reply(quint8 typeCode, char last, const QByteArray &name,
                 const QByteArray &version = hex("020107"), const QByteArray &points = hex("00100008"))
{
    Frame::DeviceReply device{{}, hex("001B1B000000"), name, version, hex("0A010200FFFFFF000A0102FE"), points};
    device.mac[5] = last;
    device.netAddr[3] = last;
    return Frame::encodeReply(typeCode, device, 0);
}

QStringList row(const QString &type, int last, const QString &name, const QString &version = QStringLiteral("2.1.7"),
                const QString &points = QStringLiteral("0.16.0.8"))
{
    return {type,
            name,
            QStringLiteral("10.1.2.%1").arg(last),
            QStringLiteral("00:1B:1B:00:00:%1").arg(last, 2, 16, QLatin1Char('0')).toUpper(),
            QStringLiteral("255.255.255.0"),
            QStringLiteral("10.1.2.254"),
            version,
            points};
}

// The LED frames that reach one device's socket, collected as they arrive.
class LedFrames
{
public:
    explicit LedFrames(QUdpSocket &socket) : socket(socket) {}

    QList<QByteArray> all()
    {
        while (socket.hasPendingDatagrams())
            frames.append(socket.receiveDatagram().data());
        return frames;
    }
    int count(Frame::LedCommand command)
    {
        const QByteArray value = command == Frame::LedCommand::Flash ? hex("0002") : hex("0000");
        const QList<QByteArray> received = all();
        return int(std::count_if(received.cbegin(), received.cend(), [&](const QByteArray &frame) {
            return frame.size() == int(Frame::LedFrameSize) && frame.endsWith(value);
        }));
    }

private:
    QUdpSocket &socket;
    QList<QByteArray> frames;
};

// The detail windows on screen.
QList<SubPlcInfo *> openDetailWindows()
{
    QList<SubPlcInfo *> open;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *detail = qobject_cast<SubPlcInfo *>(widget); detail && detail->isVisible())
            open.append(detail);
    }
    return open;
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
    void menusHaveNoSeparatorsAndNoShortcuts();
    void buttonsAreClearOfStatusBar();
    void refreshSendsOneSearchAndEmptiesTable();
    void repliesBecomeRows_data();
    void repliesBecomeRows();
    void debugActionAddsIdenticalRows_data();
    void debugActionAddsIdenticalRows();
    void dialogActions_data();
    void dialogActions();
    void detailsWithEmptyListWarns();
    void rowCountIsCappedAt127();
    void ledFlashingFollowsDetailWindow_data();
    void ledFlashingFollowsDetailWindow();
    void ledFramesGoToListedDevice();
    void detailsWithoutCurrentRowOpenNothing();
    void secondOpeningWarns();
    void refreshWhileDetailWindowOpen();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>(QStringLiteral("tableWidget")); }
    QStringList rowTexts(int row) const;
    void trigger(const char *actionName);
    void click(const char *buttonName);
    void doubleClickCell(int row, int column);
    void dropWindow();
    void feedReplies(const QList<QByteArray> &replies);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QUdpSocket> deviceSocket;
};

void TestMainWindow::initTestCase()
{
    KVR_REQUIRE_ISOLATED_NETWORK();
}

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    deviceSocket = std::make_unique<QUdpSocket>();
    QVERIFY(deviceSocket->bind(deviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
}

void TestMainWindow::cleanup()
{
    // Detail windows have no parent; a deleted one takes its own top-level children along.
    QList<QPointer<SubPlcInfo>> details;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *detail = qobject_cast<SubPlcInfo *>(widget))
            details.append(detail);
    }
    qDeleteAll(details);
    dropWindow();
    deviceSocket.reset();
}

void TestMainWindow::dropWindow()
{
    window.reset();
    // Each window makes its own endpoint; an old one still bound could take the next test's replies.
    delete g_mySocket;
    g_mySocket = nullptr;
}

QStringList TestMainWindow::rowTexts(int row) const
{
    QStringList texts;
    for (int column = 0; column < DeviceColumn::Count; ++column) {
        const QTableWidgetItem *item = table()->item(row, column);
        texts.append(item ? item->text() : QStringLiteral("<no item>"));
    }
    return texts;
}

void TestMainWindow::trigger(const char *actionName)
{
    QAction *action = window->findChild<QAction *>(QLatin1String(actionName));
    QVERIFY2(action, actionName);
    action->trigger();
}

void TestMainWindow::click(const char *buttonName)
{
    QPushButton *button = window->findChild<QPushButton *>(QLatin1String(buttonName));
    QVERIFY2(button, buttonName);
    button->click();
}

void TestMainWindow::doubleClickCell(int row, int column)
{
    // QTest's double click alone does not reach the view as one: the first click comes separately.
    const QPoint centre = table()->visualItemRect(table()->item(row, column)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, centre);
}

void TestMainWindow::feedReplies(const QList<QByteArray> &replies)
{
    // Every reply here is accepted, so each one is announced once; the row is built inside the signal.
    QSignalSpy announced(g_mySocket, &MySocket::updPackReceived);
    for (const QByteArray &datagram : replies)
        QCOMPARE(deviceSocket->writeDatagram(datagram, endpoint, Frame::DevicePort), datagram.size());
    QTRY_COMPARE_WITH_TIMEOUT(announced.size(), replies.size(), 3000);
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
    const QString message = window->statusBar()->currentMessage();
    QVERIFY2(message.contains(QLatin1String("102")) && message.contains(QLatin1String("root"))
                 && message.contains(QLatin1String("make setcap")),
             qPrintable(message));
    // The window runs on.
    trigger("actionDebug");
    QCOMPARE(table()->rowCount(), 1);
}

void TestMainWindow::menusHaveNoSeparatorsAndNoShortcuts()
{
    const auto texts = [](const QWidget *menu) {
        QStringList list;
        for (const QAction *action : menu->actions()) {
            list.append(action->isSeparator() ? QStringLiteral("<separator>") : action->text());
            if (!action->shortcut().isEmpty())
                list.append(QStringLiteral("<shortcut %1>").arg(action->shortcut().toString()));
        }
        return list;
    };
    QCOMPARE(texts(window->menuBar()), (QStringList{QStringLiteral("设置"), QStringLiteral("帮助")}));
    QCOMPARE(texts(window->findChild<QMenu *>(QStringLiteral("menuSetting"))),
             (QStringList{QStringLiteral("刷新用户列表 F5"), QStringLiteral("语言")}));
    QCOMPARE(texts(window->findChild<QMenu *>(QStringLiteral("menuLanguage"))),
             (QStringList{QStringLiteral("中文"), QStringLiteral("English")}));
    QCOMPARE(texts(window->findChild<QMenu *>(QStringLiteral("menuHelp"))),
             (QStringList{QStringLiteral("帮助 F1"), QStringLiteral("主机信息"), QStringLiteral("关于"),
                          QStringLiteral("调试：增加子设备")}));

    // "F5" is only part of a text: the key refreshes nothing.
    trigger("actionDebug");
    QTest::keyClick(window.get(), Qt::Key_F5);
    QTest::keyClick(table(), Qt::Key_F5);
    QCOMPARE(table()->rowCount(), 1);
}

void TestMainWindow::buttonsAreClearOfStatusBar()
{
    // The form's fixed positions leave little room under the buttons: none may be covered.
    const int statusBarTop = window->statusBar()->geometry().top();
    for (const char *name : {"refreshUserBtn", "detailedInfoBtn"}) {
        const auto *button = window->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY2(button, name);
        const int bottom = button->mapTo(window.get(), QPoint(0, button->height())).y();
        QVERIFY2(bottom <= statusBarTop, name);
    }
}

void TestMainWindow::refreshSendsOneSearchAndEmptiesTable()
{
    trigger("actionDebug");
    trigger("actionDebug");
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 3);

    const auto expectOneSearch = [&](const std::function<void()> &refresh) {
        // A second wildcard socket on the port would share the unicast replies, so it lives only
        // while the search is awaited.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, Frame::DevicePort, QUdpSocket::ShareAddress));
        const quint32 seq = g_mySocket->nextFrameSeq();
        refresh();
        QCOMPARE(table()->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(listener.hasPendingDatagrams(), 3000);
        QCOMPARE(listener.receiveDatagram().data(), Frame::encodeSearch(seq));
        QTest::qWait(300);
        QVERIFY2(!listener.hasPendingDatagrams(), "more than one frame per refresh");
    };
    expectOneSearch([&] { click("refreshUserBtn"); });
    if (QTest::currentTestFailed())
        return;

    // The emptied table takes rows again from index 0, also for a device it listed before.
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 1);
    QCOMPARE(rowTexts(0), row(QStringLiteral("PLC"), 1, QStringLiteral("DEVICE-1")));

    expectOneSearch([&] { trigger("actionRefresh"); });
}

void TestMainWindow::repliesBecomeRows_data()
{
    QTest::addColumn<int>("sampleRowsFirst");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QStringList>("reportedNames");

    const QString plc = QStringLiteral("PLC");
    QTest::newRow("one PLC") << 0 << QList<QByteArray>{reply(1, 1, "PUMP-STATION-1")}
                             << QList<QStringList>{row(plc, 1, QStringLiteral("PUMP-STATION-1"))}
                             << QStringList{QStringLiteral("PUMP-STATION-1")};
    QTest::newRow("same MAC again dropped though other fields differ")
        << 0 << QList<QByteArray>{reply(1, 1, "FIRST-NAME"), reply(2, 1, "SECOND-NAME", hex("09"), hex("09"))}
        << QList<QStringList>{row(plc, 1, QStringLiteral("FIRST-NAME"))} << QStringList{QStringLiteral("FIRST-NAME")};
    QTest::newRow("devices listed in order of their replies")
        << 0 << QList<QByteArray>{reply(2, 7, "PANEL-7"), reply(3, 3, "AXIS-3"), reply(4, 9, "FAN-09")}
        << QList<QStringList>{row(QStringLiteral("HMI"), 7, QStringLiteral("PANEL-7")),
                              row(QStringLiteral("SERVO"), 3, QStringLiteral("AXIS-3")),
                              row(QStringLiteral("VFD"), 9, QStringLiteral("FAN-09"))}
        << QStringList{QStringLiteral("PANEL-7"), QStringLiteral("AXIS-3"), QStringLiteral("FAN-09")};
    QTest::newRow("model name mapped, blanks around it")
        << 0 << QList<QByteArray>{reply(1, 1, " CTR516-K\t ")}
        << QList<QStringList>{row(plc, 1, QStringLiteral("KVR-CTL700-MQ16TRB"))}
        << QStringList{QStringLiteral(" CTR516-K\t ")};
    QTest::newRow("lower-case model name not mapped")
        << 0 << QList<QByteArray>{reply(1, 1, "ctr516-k")} << QList<QStringList>{row(plc, 1, QStringLiteral("ctr516-k"))}
        << QStringList{QStringLiteral("ctr516-k")};
    QTest::newRow("name ends at a zero byte")
        << 0 << QList<QByteArray>{reply(1, 1, QByteArray("ABC\0DEFGH", 9))}
        << QList<QStringList>{row(plc, 1, QStringLiteral("ABC"))} << QStringList{QStringLiteral("ABC")};
    QTest::newRow("UTF-8 name") << 0 << QList<QByteArray>{reply(1, 1, "\xe6\xb3\xb5\xe7\xab\x99-1")}
                                << QList<QStringList>{row(plc, 1, QStringLiteral("泵站-1"))}
                                << QStringList{QStringLiteral("泵站-1")};
    QTest::newRow("no version, no points")
        << 0 << QList<QByteArray>{reply(1, 1, "BARE-DEVICE", QByteArray(), QByteArray())}
        << QList<QStringList>{row(plc, 1, QStringLiteral("BARE-DEVICE"), QString(), QString())}
        << QStringList{QStringLiteral("BARE-DEVICE")};
    QTest::newRow("header types 0 and 5 have no type text")
        << 0 << QList<QByteArray>{reply(0, 1, "TYPE-ZERO"), reply(5, 2, "TYPE-FIVE")}
        << QList<QStringList>{row(QString(), 1, QStringLiteral("TYPE-ZERO")),
                              row(QString(), 2, QStringLiteral("TYPE-FIVE"))}
        << QStringList{QStringLiteral("TYPE-ZERO"), QStringLiteral("TYPE-FIVE")};

    Frame::DeviceReply sampleTwin{{}, hex("50E549CE2E4A"), "TWIN-1", {}, hex("0A010201FFFFFF000A0102FE"), {}};
    QTest::newRow("device with the sample row's MAC not listed")
        << 1 << QList<QByteArray>{Frame::encodeReply(1, sampleTwin, 0), reply(1, 1, "DEVICE-1")}
        << QList<QStringList>{sampleRow, row(plc, 1, QStringLiteral("DEVICE-1"))}
        << QStringList{QStringLiteral("KV516_K"), QStringLiteral("DEVICE-1")};
}

void TestMainWindow::repliesBecomeRows()
{
    QFETCH(int, sampleRowsFirst);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QStringList, reportedNames);

    for (int i = 0; i < sampleRowsFirst; ++i)
        trigger("actionDebug");
    feedReplies(replies);

    QCOMPARE(table()->rowCount(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rowTexts(i), rows.at(i));
        QCOMPARE(table()->item(i, DeviceColumn::Name)->data(ReportedNameRole).toString(), reportedNames.at(i));
    }
    // The newest row is the selected and current one.
    QCOMPARE(table()->currentRow(), rows.size() - 1);
    const QList<QTableWidgetItem *> selected = table()->selectedItems();
    QCOMPARE(selected.size(), int(DeviceColumn::Count));
    QVERIFY(std::all_of(selected.cbegin(), selected.cend(),
                        [&](const QTableWidgetItem *item) { return item->row() == rows.size() - 1; }));
    // The table holds its repaints only while rows keep arriving.
    QTRY_VERIFY_WITH_TIMEOUT(table()->updatesEnabled(), 2000);
}

void TestMainWindow::debugActionAddsIdenticalRows_data()
{
    QTest::addColumn<int>("times");
    QTest::newRow("once") << 1;
    QTest::newRow("three times") << 3;
}

void TestMainWindow::debugActionAddsIdenticalRows()
{
    QFETCH(int, times);
    for (int i = 0; i < times; ++i)
        trigger("actionDebug");
    QCOMPARE(table()->rowCount(), times);
    for (int i = 0; i < times; ++i) {
        QCOMPARE(rowTexts(i), sampleRow);
        QCOMPARE(table()->item(i, DeviceColumn::Name)->data(ReportedNameRole).toString(), QStringLiteral("KV516_K"));
    }
    QCOMPARE(table()->currentRow(), times - 1);
}

void TestMainWindow::dialogActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialog");

    // Neither language action changes a text, and help has no page: they all show About.
    QTest::newRow("中文") << QStringLiteral("actionChinese") << QStringLiteral("About");
    QTest::newRow("English") << QStringLiteral("actionEnglish") << QStringLiteral("About");
    QTest::newRow("帮助 F1") << QStringLiteral("actionHelp") << QStringLiteral("About");
    QTest::newRow("关于") << QStringLiteral("actionAbout") << QStringLiteral("About");
    QTest::newRow("主机信息") << QStringLiteral("actionInfo") << QStringLiteral("Info");
}

void TestMainWindow::dialogActions()
{
    QFETCH(QString, action);
    QFETCH(QString, dialog);
    for (int opening = 0; opening < 2; ++opening) {
        ModalCloser modal;
        trigger(action.toLatin1().constData());
        QCOMPARE(modal.seen.size(), 1);
        QCOMPARE(modal.seen[0].className, dialog.toLatin1());
        QCOMPARE(modal.seen[0].parent, window.get());
        QCOMPARE(modal.seen[0].modality, Qt::ApplicationModal);
        // Closed dialogs do not pile up under the window.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window->findChildren<QDialog *>().size(), 0);
    }
}

void TestMainWindow::detailsWithEmptyListWarns()
{
    for (int round = 0; round < 2; ++round) {
        ModalCloser modal;
        click("detailedInfoBtn");
        QVERIFY(modal.sawOneWarning(QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"), window.get()));
        // A list emptied by a refresh is empty as well.
        trigger("actionDebug");
        trigger("actionRefresh");
    }
    QVERIFY(!g_mySocket->isFlashing());
}

void TestMainWindow::rowCountIsCappedAt127()
{
    for (int i = 0; i < MainWindow::MaxDeviceRows; ++i)
        trigger("actionDebug");
    QCOMPARE(table()->rowCount(), 127);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());

    const QString full = QStringLiteral("设备列表已满（127 台），请刷新后重试");
    trigger("actionDebug");
    QCOMPARE(table()->rowCount(), 127);
    QCOMPARE(window->statusBar()->currentMessage(), full);

    // A new device is refused the same way; the last row stays the current one.
    window->statusBar()->clearMessage();
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 127);
    QCOMPARE(table()->currentRow(), 126);
    QCOMPARE(rowTexts(126), sampleRow);
    QCOMPARE(window->statusBar()->currentMessage(), full);

    trigger("actionRefresh");
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    feedReplies({reply(1, 1, "DEVICE-1")});
    QCOMPARE(table()->rowCount(), 1);
}

void TestMainWindow::ledFlashingFollowsDetailWindow_data()
{
    QTest::addColumn<QString>("closing");
    QTest::newRow("QWidget::close()") << QStringLiteral("close");
    QTest::newRow("quit action") << QStringLiteral("quitAction");
    // What the title bar's close button does: a close event through the platform window.
    QTest::newRow("close control") << QStringLiteral("closeControl");
}

void TestMainWindow::ledFlashingFollowsDetailWindow()
{
    QFETCH(QString, closing);
    QUdpSocket sampleDevice;
    QVERIFY(sampleDevice.bind(sampleDeviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
    LedFrames frames(sampleDevice);
    trigger("actionDebug");

    const quint32 seq = g_mySocket->nextFrameSeq();
    click("detailedInfoBtn");
    QCOMPARE(openDetailWindows().size(), 1);
    QPointer<SubPlcInfo> detail = openDetailWindows().constFirst();
    QTRY_VERIFY_WITH_TIMEOUT(!frames.all().isEmpty(), 3000);
    QCOMPARE(frames.all().constFirst(), Frame::encodeLed(sampleMac, Frame::LedCommand::Flash, seq));

    // The device is told again and again while the window is open.
    QTRY_VERIFY_WITH_TIMEOUT(frames.count(Frame::LedCommand::Flash) >= 3, 5000);
    QCOMPARE(frames.count(Frame::LedCommand::Off), 0);

    if (closing == QLatin1String("close")) {
        detail->close();
    } else if (closing == QLatin1String("quitAction")) {
        auto *quit = detail->findChild<QAction *>(QStringLiteral("quitAction"));
        QVERIFY(quit);
        quit->trigger();
    } else {
        QVERIFY(detail->windowHandle());
        detail->windowHandle()->close();
    }
    QVERIFY(openDetailWindows().isEmpty());
    QVERIFY(!g_mySocket->isFlashing());
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(Frame::LedCommand::Off), 1, 3000);
    QCOMPARE(frames.all().constLast().mid(26, 6), sampleMac);

    // Nothing more goes out: counted over a window of more than two flash intervals.
    const int sent = int(frames.all().size());
    QTest::qWait(1200);
    QCOMPARE(int(frames.all().size()), sent);
}

void TestMainWindow::ledFramesGoToListedDevice()
{
    // A device at 127.0.0.2, where the test's device socket listens.
    Frame::DeviceReply device{{}, hex("001B1B0000AA"), "LOOP-DEVICE", {}, hex("7F000002FF0000007F000001"), {}};
    feedReplies({Frame::encodeReply(1, device, 0)});
    QCOMPARE(rowTexts(0).at(DeviceColumn::IpAddress), QStringLiteral("127.0.0.2"));
    LedFrames frames(*deviceSocket);

    const quint32 seq = g_mySocket->nextFrameSeq();
    click("detailedInfoBtn");
    QTRY_VERIFY_WITH_TIMEOUT(!frames.all().isEmpty(), 3000);
    QCOMPARE(frames.all().constFirst(), Frame::encodeLed(device.mac, Frame::LedCommand::Flash, seq));
    openDetailWindows().constFirst()->close();
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(Frame::LedCommand::Off), 1, 3000);
    QCOMPARE(frames.all().constLast().mid(26, 6), device.mac);
}

void TestMainWindow::detailsWithoutCurrentRowOpenNothing()
{
    // Not reachable by mouse or keyboard, but the cells of a missing row must never be read.
    trigger("actionDebug");
    table()->setCurrentCell(-1, -1);
    const quint32 seq = g_mySocket->nextFrameSeq();
    ModalCloser modal;
    click("detailedInfoBtn");
    QVERIFY(modal.sawOneWarning(QStringLiteral("操作失败："), QStringLiteral("子设备列表为空！"), window.get()));
    QVERIFY(openDetailWindows().isEmpty());
    QCOMPARE(g_mySocket->nextFrameSeq(), seq);
    QVERIFY(!g_mySocket->isFlashing());
}

void TestMainWindow::secondOpeningWarns()
{
    trigger("actionDebug");
    click("detailedInfoBtn");
    QCOMPARE(openDetailWindows().size(), 1);
    QPointer<SubPlcInfo> first = openDetailWindows().constFirst();

    // Neither the button nor a double click opens a second one.
    trigger("actionDebug");
    for (int attempt = 0; attempt < 2; ++attempt) {
        ModalCloser modal;
        if (attempt == 0)
            click("detailedInfoBtn");
        else
            doubleClickCell(1, DeviceColumn::IpAddress);
        QVERIFY(modal.sawOneWarning(QStringLiteral("打开设备详情失败："),
                                    QStringLiteral("正在设置一个子设备，请关闭后再尝试!"), window.get()));
        QCOMPARE(openDetailWindows(), QList<SubPlcInfo *>{first.data()});
    }

    // Once it is closed, the next opening makes a new window.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    click("detailedInfoBtn");
    QCOMPARE(openDetailWindows().size(), 1);
    QVERIFY(first.isNull());
    QVERIFY(g_mySocket->isFlashing());
}

void TestMainWindow::refreshWhileDetailWindowOpen()
{
    QUdpSocket sampleDevice;
    QVERIFY(sampleDevice.bind(sampleDeviceAddress, Frame::DevicePort, QUdpSocket::ShareAddress));
    LedFrames frames(sampleDevice);
    trigger("actionDebug");
    click("detailedInfoBtn");
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(Frame::LedCommand::Flash), 1, 3000);

    // The refresh leaves the window open, and the flag with it.
    trigger("actionRefresh");
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(openDetailWindows().size(), 1);
    trigger("actionDebug");
    ModalCloser modal;
    click("detailedInfoBtn");
    QVERIFY(modal.sawOneWarning(QStringLiteral("打开设备详情失败："),
                                QStringLiteral("正在设置一个子设备，请关闭后再尝试!"), window.get()));

    // With the table emptied again there is no MAC for the off frame: none is sent, but the
    // flashing stops and the next opening is allowed.
    trigger("actionRefresh");
    openDetailWindows().constFirst()->close();
    QVERIFY(!g_mySocket->isFlashing());
    const int sent = int(frames.all().size());
    QTest::qWait(1200);
    QCOMPARE(int(frames.all().size()), sent);
    QCOMPARE(frames.count(Frame::LedCommand::Off), 0);

    trigger("actionDebug");
    click("detailedInfoBtn");
    QCOMPARE(openDetailWindows().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(frames.count(Frame::LedCommand::Flash) > sent, 3000);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
