#include "benchmarks.h"
#include "harness.h"

#include "protocol/frame.h"
#include "simdevice.h"

namespace Bench {

void runCodecBenchmarks()
{
    printLine(QStringLiteral("\n== Frame codec"));
    QList<QByteArray> replies;
    for (const DevSim::SimDevice &device : DevSim::generatedDevices(127))
        replies.append(Frame::encodeReply(device.typeCode, DevSim::replyFields(device), 0));

    constexpr int Repeats = 400;
    int accepted = 0;
    const Measurement decode = measure(15, qint64(Repeats) * replies.size(), [&] {
        for (int r = 0; r < Repeats; ++r) {
            for (const QByteArray &reply : replies)
                accepted += Frame::decode(reply).accepted;
        }
    });
    printRate("decode a device reply (127 different)", decode, "replies");
    if (accepted != 16 * Repeats * replies.size())
        printLine(QStringLiteral("!! only %1 replies were accepted").arg(accepted));

    constexpr int Frames = 50000;
    qsizetype bytes = 0;
    printRate("encode the search frame", measure(15, Frames, [&] {
                  for (int i = 0; i < Frames; ++i)
                      bytes += Frame::encodeSearch(quint32(i)).size();
              }),
              "frames");
    const QByteArray mac = QByteArray::fromHex("024B56100002");
    printRate("encode an LED frame", measure(15, Frames, [&] {
                  for (int i = 0; i < Frames; ++i)
                      bytes += Frame::encodeLed(mac, Frame::LedCommand::Flash, quint32(i)).size();
              }),
              "frames");
    const Frame::WriteTexts texts{QStringLiteral("02:4B:56:10:00:02"), QStringLiteral("02:4B:56:10:00:02"),
                                  QStringLiteral("FILLER-PLC-02"),     QStringLiteral("198.18.0.50"),
                                  QStringLiteral("255.255.255.0"),     QStringLiteral("198.18.0.254")};
    printRate("encode a write frame from the window's texts", measure(15, Frames, [&] {
                  for (int i = 0; i < Frames; ++i)
                      bytes += Frame::encodeWrite(Frame::writeValuesFromTexts(texts), quint32(i)).size();
              }),
              "frames");
    if (bytes == 0)
        printLine(QStringLiteral("!! nothing was encoded"));
}

} // namespace Bench
