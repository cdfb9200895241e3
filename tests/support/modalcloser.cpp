#include "modalcloser.h"

#include <QApplication>
#include <QDebug>
#include <QPushButton>
#include <QTimer>

namespace kvrtest {

QList<Modal> closingModals(const std::function<void()> &userAction)
{
    QList<Modal> modals;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&modals] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        Modal shown{modal->metaObject()->className(), modal->windowTitle(), {}, QMessageBox::NoIcon, {},
                    modal->parentWidget(), modal->windowModality()};
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (box) {
            shown.text = box->text();
            shown.icon = box->icon();
            shown.buttons = box->standardButtons();
        }
        modals.append(shown);
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else if (auto *button = modal->findChild<QPushButton *>())
            button->click();
        else
            modal->close();
    });
    poll.start(10);
    userAction();
    return modals;
}

bool isOneWarning(const QList<Modal> &modals, const QString &title, const QString &text, const QWidget *parent)
{
    const bool match = modals.size() == 1 && modals[0].className == "QMessageBox"
                       && modals[0].icon == QMessageBox::Warning && modals[0].buttons == QMessageBox::Ok
                       && modals[0].title == title && modals[0].text == text && modals[0].parent == parent;
    if (!match) {
        for (const Modal &shown : modals)
            qWarning() << "modal window seen:" << shown.className << shown.title << shown.text << shown.icon
                       << shown.buttons << shown.parent;
    }
    return match;
}

} // namespace kvrtest
