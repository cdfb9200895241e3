#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

namespace kvrtest {

// What a modal window showed.
struct Modal
{
    QByteArray className;
    QString title;
    QString text; // a message box's text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
};

// Does what the user does, closing every modal window that comes up meanwhile as a user would (a
// message box with its OK button, any other dialog with its first push button), and returns what
// each one showed. Modal windows run their own event loop, so a timer looks out for them.
QList<Modal> closingModals(const std::function<void()> &userAction);

// Exactly one modal window: a warning box with the given title and text, one OK button, and the
// given parent. Says what came up instead when not.
bool isOneWarning(const QList<Modal> &modals, const QString &title, const QString &text, const QWidget *parent);

} // namespace kvrtest
