#include "modalcloser.h"

#include <QApplication>
#include <QDebug>
#include <QPushButton>

namespace kvrtest {

ModalCloser::ModalCloser()
{
    connect(&poll, &QTimer::timeout, this, &ModalCloser::closeActiveModal);
    poll.start(10);
}

bool ModalCloser::sawOneWarning(const QString &title, const QString &text, const QWidget *parent) const
{
    const bool match = seen.size() == 1 && seen[0].className == "QMessageBox"
                       && seen[0].icon == QMessageBox::Warning && seen[0].buttons == QMessageBox::Ok
                       && seen[0].title == title && seen[0].text == text && seen[0].parent == parent;
    if (!match) {
        for (const Seen &shown : seen)
            qWarning() << "modal window seen:" << shown.className << shown.title << shown.text << shown.icon
                       << shown.buttons << shown.parent;
    }
    return match;
}

void ModalCloser::closeActiveModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    Seen shown;
    shown.className = modal->metaObject()->className();
    shown.title = modal->windowTitle();
    shown.parent = modal->parentWidget();
    shown.modality = modal->windowModality();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        shown.text = box->text();
        shown.icon = box->icon();
        shown.buttons = box->standardButtons();
    }
    seen.append(shown);

    if (auto *box = qobject_cast<QMessageBox *>(modal); box && box->button(QMessageBox::Ok))
        box->button(QMessageBox::Ok)->click();
    else if (auto *button = modal->findChild<QPushButton *>())
        button->click();
    else
        modal->close();
}

} // namespace kvrtest
