// The About and host information dialogs: texts, grid, modal runs and release on close.

#include "dialogs/about.h"
#include "dialogs/info.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
QDialog *makeDialog(const QString &kind, QWidget *parent)
{
    if (kind == QLatin1String("About"))
        return new About(parent);
    return new Info(parent);
}

QLabel *lineAt(QDialog *dialog, int row)
{
    auto *grid = qobject_cast<QGridLayout *>(dialog->layout());
    QLayoutItem *item = grid ? grid->itemAtPosition(row, 0) : nullptr;
    return item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
}

// Sets an environment variable for the life of the object, then puts back what was there.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};
} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void textsAndGrid_data();
    void textsAndGrid();
    void hostNameLineShowsValueLiterally_data();
    void hostNameLineShowsValueLiterally();
    void execRunsModalAndReleasesOnClose_data();
    void execRunsModalAndReleasesOnClose();
};

void TestDialogs::textsAndGrid_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("lines"); // rows 0 to 3; an empty text: no widget in that row

    QTest::newRow("About") << QStringLiteral("About") << QStringLiteral("关于")
                           << QStringList{QStringLiteral("版本：1.00.00.00140"),
                                          QStringLiteral("日期：2020-04-10"),
                                          QStringLiteral("kvrctl700 开发组"),
                                          QStringLiteral("kvrctl700.example.org")};
    QTest::newRow("Info") << QStringLiteral("Info") << QStringLiteral("本机信息")
                          << QStringList{QStringLiteral("本机名：") + Info::localHostName(),
                                         QStringLiteral("IP地址：") + Info::localIpAddress(),
                                         QStringLiteral("MAC：") + Info::localMacAddress(),
                                         QString()};
}

void TestDialogs::textsAndGrid()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QStringList, lines);

    std::unique_ptr<QDialog> dialog(makeDialog(kind, nullptr));
    QCOMPARE(dialog->metaObject()->className(), kind.toLatin1());
    QCOMPARE(dialog->windowTitle(), title);

    auto *grid = qobject_cast<QGridLayout *>(dialog->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(10, 10, 10, 10));
    QCOMPARE(grid->horizontalSpacing(), 10);
    QCOMPARE(grid->verticalSpacing(), 10);
    QCOMPARE(grid->columnStretch(0), 1);
    QCOMPARE(grid->rowStretch(0), 1);
    QCOMPARE(grid->columnMinimumWidth(1), 1);
    QCOMPARE(grid->rowMinimumHeight(4), 20);

    for (int row = 0; row < lines.size(); ++row) {
        QLabel *label = lineAt(dialog.get(), row);
        if (lines.at(row).isEmpty()) {
            QVERIFY2(!grid->itemAtPosition(row, 0), qPrintable(QString::number(row)));
            continue;
        }
        QVERIFY2(label, qPrintable(QString::number(row)));
        QCOMPARE(label->text(), lines.at(row));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!label->openExternalLinks());
    }

    const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 1);
    QLayoutItem *buttonCell = grid->itemAtPosition(4, 0);
    QVERIFY(buttonCell);
    QCOMPARE(buttonCell->widget(), buttons.first());
    QCOMPARE(buttonCell->alignment(), Qt::AlignHCenter);
    QCOMPARE(buttons.first()->text(), QStringLiteral("确定"));

    // The dialog takes the size its layout gives it.
    QCOMPARE(dialog->minimumSize(), QSize(0, 0));
    QCOMPARE(dialog->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

void TestDialogs::hostNameLineShowsValueLiterally_data()
{
    QTest::addColumn<QByteArray>("userName");
    QTest::addColumn<QString>("line");

    QTest::newRow("markup is not rendered") << QByteArray("<b>x</b>") << QStringLiteral("本机名：<b>x</b>");
    QTest::newRow("empty name ends the line at the colon") << QByteArray() << QStringLiteral("本机名：");
    QTest::newRow("placeholder in a name stays") << QByteArray("%1%2") << QStringLiteral("本机名：%1%2");
}

void TestDialogs::hostNameLineShowsValueLiterally()
{
    QFETCH(QByteArray, userName);
    QFETCH(QString, line);

    const ScopedEnv env("USERNAME", userName);
    Info dialog(nullptr);
    QLabel *label = lineAt(&dialog, 0);
    QVERIFY(label);
    QCOMPARE(label->text(), line);
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestDialogs::execRunsModalAndReleasesOnClose_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("byEscape");

    QTest::newRow("About, confirm button") << QStringLiteral("About") << QStringLiteral("关于") << false;
    QTest::newRow("About, Escape") << QStringLiteral("About") << QStringLiteral("关于") << true;
    QTest::newRow("Info, confirm button") << QStringLiteral("Info") << QStringLiteral("本机信息") << false;
    QTest::newRow("Info, Escape") << QStringLiteral("Info") << QStringLiteral("本机信息") << true;
}

void TestDialogs::execRunsModalAndReleasesOnClose()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(bool, byEscape);

    QWidget opener;
    opener.show();
    QPointer<QDialog> dialog = makeDialog(kind, &opener);

    QByteArray seenClass;
    QWidget *seenParent = nullptr;
    QString seenTitle;
    Qt::WindowModality seenModality = Qt::NonModal;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            dialog->reject(); // no modal dialog to close: end exec() so the test fails, not hangs
            return;
        }
        seenClass = modal->metaObject()->className();
        seenParent = modal->parentWidget();
        seenTitle = modal->windowTitle();
        seenModality = modal->windowModality();
        if (byEscape) {
            QTest::keyClick(modal, Qt::Key_Escape);
        } else {
            auto *button = modal->findChild<QPushButton *>();
            if (button)
                button->click();
            else
                dialog->reject();
        }
    });
    dialog->exec();

    QCOMPARE(seenClass, kind.toLatin1());
    QCOMPARE(seenParent, &opener);
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenModality, Qt::ApplicationModal);
    QVERIFY2(dialog.isNull(), "a closed dialog is released");
    QVERIFY(opener.findChildren<QDialog *>().isEmpty());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
