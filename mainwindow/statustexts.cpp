#include "statustexts.h"

#include "protocol/deviceport.h"

#include <QCoreApplication>

namespace StatusTexts {

namespace {
// The texts belong to the main window's translation context, where lupdate finds them too.
struct Texts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)
};
} // namespace

StatusMessage portProblem(const DevicePort::Opening &opening, const QString &programPath)
{
    switch (opening.outcome) {
    case DevicePort::Opening::Bound:
        break;
    case DevicePort::Opening::HeldByAnotherProgram: {
        const QString headline = Texts::tr("另一个kvrctl700程序正在使用UDP端口102，本窗口找不到设备");
        if (opening.holder.isEmpty())
            return {Texts::tr("另一个kvrctl700程序正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序"), headline};
        return {Texts::tr("另一个kvrctl700程序（%1）正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序")
                    .arg(opening.holder),
                headline};
    }
    case DevicePort::Opening::InUse:
        return {Texts::tr("UDP端口102已被其他程序占用，找不到设备：请关闭占用该端口的程序后重新启动本程序"),
                Texts::tr("UDP端口102已被其他程序占用，找不到设备")};
    case DevicePort::Opening::NotPermitted:
        return {Texts::tr("无法使用UDP端口102，找不到设备：请以root身份运行，或执行 sudo setcap cap_net_bind_service=+ep %1 授予端口权限")
                    .arg(programPath),
                Texts::tr("无法使用UDP端口102，找不到设备：需要root身份或端口权限")};
    case DevicePort::Opening::Failed:
        return {Texts::tr("无法使用UDP端口102（%1），找不到设备").arg(opening.detail), Texts::tr("无法使用UDP端口102，找不到设备")};
    }
    return {};
}

QString portProblemLogLine(const DevicePort::Opening &opening, const QString &programPath)
{
    QString problem;
    switch (opening.outcome) {
    case DevicePort::Opening::Bound:
        return {};
    case DevicePort::Opening::HeldByAnotherProgram:
        problem = opening.holder.isEmpty()
                      ? QStringLiteral("is held by another kvrctl700 program")
                      : QStringLiteral("is held by another kvrctl700 program, %1").arg(opening.holder);
        break;
    case DevicePort::Opening::InUse:
        problem = QStringLiteral("is in use by another program");
        break;
    case DevicePort::Opening::NotPermitted:
        problem = QStringLiteral("may not be bound (run as root, or grant the right once: "
                                 "sudo setcap cap_net_bind_service=+ep %1)")
                      .arg(programPath);
        break;
    case DevicePort::Opening::Failed:
        problem = QStringLiteral("cannot be bound (%1)").arg(opening.detail);
        break;
    }
    return QStringLiteral("UDP port 102 %1: this window finds no devices").arg(problem);
}

StatusMessage searchNotSent()
{
    return {Texts::tr("搜索命令未能发出（网线已拔出或网卡不可用？），列表为空并不表示没有设备：请检查网络后重新刷新"),
            Texts::tr("搜索命令未能发出，列表为空并不表示没有设备")};
}

StatusMessage searchPartlySent(const QStringList &failedAdapters)
{
    const QString text = Texts::tr("搜索命令未能从网卡%1发出，该网卡上的设备不会列出：请检查网络后重新刷新")
                             .arg(failedAdapters.join(QStringLiteral("、")));
    if (failedAdapters.size() == 1)
        return {text, Texts::tr("搜索命令未能从网卡%1发出，该网卡上的设备不会列出").arg(failedAdapters.first())};
    return {text, Texts::tr("搜索命令未能从%1个网卡发出，这些网卡上的设备不会列出").arg(failedAdapters.size())};
}

StatusMessage listFull(int rows)
{
    const QString text = Texts::tr("设备列表已满（%1 台），请刷新后重试").arg(rows);
    return {text, text};
}

} // namespace StatusTexts
