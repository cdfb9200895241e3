// The About and host information dialogs: their texts, and a modal run that releases them.

#include "dialogs/about.h"
#include "dialogs/info.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// The grid's four text lines, top to bottom: a text shown as markup is marked, an empty cell is empty.
QStringList textLines(const QDialog *dialog)
{
    QStringList lines;
    const auto *grid = qobject_cast<const QGridLayout *>(dialog->layout());
    for (int row = 0; grid && row < 4; ++row) {
        QLayoutItem *item = grid->itemAtPosition(row, 0);
        const auto *label = item ? qobject_cast<const QLabel *>(item->widget()) : nullptr;
        lines.append(!label ? QString()
                     : label->textFormat() == Qt::PlainText ? label->text()
                                                            : QLatin1String("<markup> ") + label->text());
    }
    return lines;
}
} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void textsAndModalRun_data();
    void textsAndModalRun();
};

void TestDialogs::initTestCase()
{
    // A host name holding markup and a placeholder must be shown as it is.
    qputenv("USERNAME", "<b>%1</b>");
}

void TestDialogs::textsAndModalRun_data()
{
    QTest::addColumn<bool>("about");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("About") << true << QStringLiteral("关于")
                           << QStringList{QStringLiteral("版本：1.00.00.00140"),
                                          QStringLiteral("日期：2020-04-10"),
                                          QStringLiteral("kvrctl700 开发组"),
                                          QStringLiteral("kvrctl700.example.org")};
    QTest::newRow("Info: markup and placeholder in the host name shown literally")
        << false << QStringLiteral("本机信息")
        << QStringList{QStringLiteral("本机名：<b>%1</b>"), QStringLiteral("IP地址：") + Info::localIpAddress(),
                       QStringLiteral("MAC：") + Info::localMacAddress(), QString()};
}

void TestDialogs::textsAndModalRun()
{
    QFETCH(bool, about);
    QFETCH(QString, title);
    QFETCH(QStringList, lines);

    for (const bool byEscape : {false, true}) {
        QWidget opener;
        opener.show();
        QPointer<QDialog> dialog = about ? static_cast<QDialog *>(new About(&opener)) : new Info(&opener);
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(textLines(dialog), lines);
        const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first()->text(), QStringLiteral("确定"));

        bool ranModal = false;
        QTimer::singleShot(0, this, [&] {
            ranModal = QApplication::activeModalWidget() == dialog
                       && dialog->windowModality() == Qt::ApplicationModal;
            if (byEscape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                buttons.first()->click();
        });
        dialog->exec();
        QVERIFY(ranModal);
        QVERIFY2(dialog.isNull(), byEscape ? "not released when closed by Escape" : "not released when confirmed");
    }
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
