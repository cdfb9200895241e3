#include "writefollowup.h"

#include "protocol/conversions.h"

WriteFollowUp::WriteFollowUp(DeviceLink &deviceLink, QObject *parent) : QObject(parent), link(deviceLink) {}

void WriteFollowUp::setTimeLimits(int restartWaitMs, int searchMs)
{
    times.restartWaitMs = restartWaitMs;
    times.timeoutMs = searchMs;
}

void WriteFollowUp::start(const QByteArray &deviceMac, const QString &name, const WriteOutcome::Write &write,
                          const std::optional<AddressCheck::Settings> &before,
                          const QList<Adapters::Adapter> &adapters, const QStringList &found)
{
    cancel();
    mac = deviceMac;
    deviceName = name;
    written = write.written;
    previous = before;
    warnings = found;
    verification = new WriteVerification(link, adapters, {{mac, write}}, times, this);
    connect(verification, &WriteVerification::answerCounted, this,
            [this](qsizetype, const Frame::DeviceReply &reply, int interfaceIndex) {
                emit deviceAnswered(reply, interfaceIndex);
            });
    connect(verification, &WriteVerification::finished, this, &WriteFollowUp::finish);
    verification->start();
    const QString sent = tr("新设置已发送到%1，正在等待设备重新启动…").arg(deviceText());
    if (warnings.isEmpty())
        emit message(sent, tr("新设置已发送到设备%1，正在等待设备重新启动…").arg(deviceName));
    else
        emit message(withWarnings(sent),
                     tr("新设置已发送到设备%1，正在等待设备重新启动（请注意%2条提醒）")
                         .arg(deviceName)
                         .arg(warnings.size()));
}

void WriteFollowUp::cancel()
{
    delete verification;
}

void WriteFollowUp::finish()
{
    const WriteOutcome::Outcome outcome = verification->outcome(0);
    const std::optional<AddressCheck::Settings> answered = verification->answered(0);
    const QList<AddressCheck::Settings> heardSettings = verification->heard(0);
    const int patienceMs = verification->patienceMs();
    verification->deleteLater();
    verification = nullptr;
    switch (outcome) {
    case WriteOutcome::Outcome::Verified:
        emit message(tr("%1已在新地址%2应答，新设置已确认").arg(deviceText(), ipv4Text(written.ip)),
                     tr("设备%1已在新地址%2应答，新设置已确认").arg(deviceName, ipv4Text(written.ip)));
        return;
    case WriteOutcome::Outcome::Mismatch:
        // A device that still has its old settings refused the new ones, or has not restarted:
        // not every device restarts by itself after a write.
        if (answered == previous) {
            emit message(withWarnings(tr("%1仍以原来的设置应答（%2）：设备拒绝了新设置，或尚未重新启动；"
                                         "如设备不会自动重启，请手动重启设备后刷新列表")
                                          .arg(deviceText(), differences(*answered))),
                         tr("设备%1仍以原来的设置应答：设备拒绝了新设置，或尚未重新启动").arg(deviceName));
            return;
        }
        emit message(withWarnings(tr("%1已应答，但没有采用新设置：%2").arg(deviceText(), differences(*answered))),
                     tr("设备%1已应答，但没有采用新设置").arg(deviceName));
        return;
    case WriteOutcome::Outcome::NotSeen: {
        const QString seconds = QString::number(patienceMs / 1000.0);
        emit message(withWarnings(tr("%1在%2秒内没有应答，无法确认新设置是否生效：请检查设备后刷新列表")
                                      .arg(deviceText(), seconds)),
                     tr("设备%1在%2秒内没有应答，无法确认新设置是否生效").arg(deviceName, seconds));
        return;
    }
    case WriteOutcome::Outcome::Conflict: {
        QStringList heard;
        for (const AddressCheck::Settings &settings : heardSettings)
            heard.append(tr("%1/%2 网关%3").arg(ipv4Text(settings.ip), ipv4Text(settings.mask),
                                               ipv4Text(settings.gateway)));
        emit message(withWarnings(tr("%1的MAC地址收到了互相矛盾的应答（%2）：可能有两台设备使用同一个MAC地址，"
                                     "或有其他设备冒用它的名义，无法确认新设置是否生效")
                                      .arg(deviceText(), heard.join(QStringLiteral("；")))),
                     tr("设备%1的应答互相矛盾，无法确认新设置是否生效").arg(deviceName));
        return;
    }
    case WriteOutcome::Outcome::NotSent:
    case WriteOutcome::Outcome::Sent:
        break;
    }
}

QString WriteFollowUp::deviceText() const
{
    return tr("设备%1（%2）").arg(deviceName, macBytesToText(mac));
}

QString WriteFollowUp::withWarnings(const QString &text) const
{
    if (warnings.isEmpty())
        return text;
    const QString end = text.endsWith(u'…') ? QString() : QStringLiteral("。");
    return tr("%1%2请注意：%3").arg(text, end, warnings.join(QStringLiteral("；")));
}

QString WriteFollowUp::differences(const AddressCheck::Settings &answered) const
{
    QStringList texts;
    if (answered.ip != written.ip)
        texts.append(tr("IP地址为%1（发送的是%2）").arg(ipv4Text(answered.ip), ipv4Text(written.ip)));
    if (answered.mask != written.mask)
        texts.append(tr("子网掩码为%1（发送的是%2）").arg(ipv4Text(answered.mask), ipv4Text(written.mask)));
    if (answered.gateway != written.gateway)
        texts.append(tr("网关为%1（发送的是%2）").arg(ipv4Text(answered.gateway), ipv4Text(written.gateway)));
    return texts.join(QStringLiteral("，"));
}
