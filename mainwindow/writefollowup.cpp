#include "writefollowup.h"

#include "commissioning/searchsession.h"
#include "commissioning/verifiedwrite.h"
#include "protocol/conversions.h"

// The times of kvrctl700-cli's verified write, so that the window and the command-line program
// give a device the same time to come back.
WriteFollowUp::WriteFollowUp(QObject *parent)
    : QObject(parent), restartWaitMs(VerifiedWrite::DefaultRestartWaitMs),
      searchMs(VerifiedWrite::DefaultVerifyTimeoutMs)
{
    restartTimer.setSingleShot(true);
    giveUpTimer.setSingleShot(true);
    settleTimer.setSingleShot(true);
    settleTimer.setInterval(SearchSession::DefaultQuietMs);
    connect(&settleTimer, &QTimer::timeout, this, &WriteFollowUp::settle);
    searchTimer.setInterval(SearchSession::TargetRoundMs);
    connect(&restartTimer, &QTimer::timeout, this, &WriteFollowUp::beginSearching);
    connect(&searchTimer, &QTimer::timeout, this, &WriteFollowUp::searchDue);
    connect(&giveUpTimer, &QTimer::timeout, this, &WriteFollowUp::settle);
}

void WriteFollowUp::setTimeLimits(int restartWait, int search)
{
    restartWaitMs = restartWait;
    searchMs = search;
}

void WriteFollowUp::start(const QByteArray &deviceMac, const QString &name, const WriteOutcome::Write &write,
                          const std::optional<AddressCheck::Settings> &before, const QStringList &found)
{
    cancel();
    mac = deviceMac;
    deviceName = name;
    written = write.written;
    way = write;
    answers.clear();
    previous = before;
    warnings = found;
    running = true;
    restartTimer.start(restartWaitMs);
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
    restartTimer.stop();
    searchTimer.stop();
    giveUpTimer.stop();
    settleTimer.stop();
    running = false;
    searching = false;
}

bool WriteFollowUp::takeReply(const QByteArray &replyMac, const WriteOutcome::Answer &answer)
{
    if (!searching || replyMac != mac)
        return false;
    answers.append(answer);
    answers.last().atMs = clock.elapsed();
    if (!WriteOutcome::counts(answers.last(), way))
        return false;
    if (!settleTimer.isActive())
        settleTimer.start();
    return true;
}

void WriteFollowUp::settle()
{
    finish(WriteOutcome::judge(answers, way), WriteOutcome::deciding(answers, way));
}

void WriteFollowUp::beginSearching()
{
    searching = true;
    clock.start();
    giveUpTimer.start(searchMs);
    searchTimer.start();
    emit searchDue();
}

void WriteFollowUp::finish(WriteOutcome::Outcome outcome, const std::optional<AddressCheck::Settings> &answered)
{
    cancel();
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
        const QString seconds = QString::number((restartWaitMs + searchMs) / 1000.0);
        emit message(withWarnings(tr("%1在%2秒内没有应答，无法确认新设置是否生效：请检查设备后刷新列表")
                                      .arg(deviceText(), seconds)),
                     tr("设备%1在%2秒内没有应答，无法确认新设置是否生效").arg(deviceName, seconds));
        return;
    }
    case WriteOutcome::Outcome::Conflict: {
        QStringList heard;
        for (const AddressCheck::Settings &settings : WriteOutcome::heard(answers, way))
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
