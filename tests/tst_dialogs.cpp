// The About and host information dialogs: what the host information shows, the grid they share,
// and a modal run that releases them.

#include "dialogs/about.h"
#include "dialogs/info.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void hostInformationShowsTheLookups()
    {
        // A host name holding markup and a placeholder is shown as it is.
        qputenv("USERNAME", "<b>%1</b>");
        Info info;
        QStringList values;
        for (const QLabel *line : info.findChildren<QLabel *>())
            values << (line->textFormat() == Qt::PlainText ? line->text().section(u'：', 1) : QString());
        QCOMPARE(values, (QStringList{QStringLiteral("<b>%1</b>"), Info::localIpAddress(), Info::localMacAddress()}));
    }

    void modalRunAndRelease_data()
    {
        QTest::addColumn<bool>("about");
        QTest::newRow("About") << true;
        QTest::newRow("host information") << false;
    }

    void modalRunAndRelease()
    {
        QFETCH(bool, about);
        QWidget opener;
        QPointer<QDialog> dialog = about ? static_cast<QDialog *>(new About(&opener)) : new Info(&opener);
        auto *button = dialog->findChild<QPushButton *>();
        QVERIFY(button);
        bool ranModal = false;
        QRect buttonArea, lastLine;
        QTimer::singleShot(0, this, [&] {
            ranModal = QApplication::activeModalWidget() == dialog && dialog->windowModality() == Qt::ApplicationModal;
            buttonArea = button->geometry();
            lastLine = dialog->findChildren<QLabel *>().last()->geometry();
            button->click();
        });
        dialog->exec();
        QVERIFY(ranModal);
        QVERIFY2(dialog.isNull(), "a closed dialog must be released");
        // The one button sits centred under the text lines.
        QVERIFY(buttonArea.top() > lastLine.bottom());
        QVERIFY(qAbs(buttonArea.center().x() - lastLine.center().x()) <= 1);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
