#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace DevSim {

// Runs kvrctl700-devsim in a network namespace made for it and joins that namespace to the
// caller's by a veth pair, the way make demo joins the tool's and the plant's:
//   here:  kvrsim0, 198.18.0.1/16, carrying the default route (a search to 255.255.255.255
//          goes down the cable);
//   there: kvrsim1, 198.18.0.2, and every other address of 198.18.0.0/16 local, so that a device
//          stays reachable at whatever address a write gives it.
// The caller must be alone in a private network namespace without a default route and allowed to
// make namespaces: tools/isolated.sh --loopback-only gives exactly that. The simulator, its
// namespace and the cable end when stop() is called, when this object goes, or when the caller dies.
class SimulatorProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr char ToolAddress[] = "198.18.0.1";

    explicit SimulatorProcess(QObject *parent = nullptr);
    ~SimulatorProcess() override;

    // Starts the program with these arguments and wires the network; on failure the reason.
    std::optional<QString> start(const QString &program, const QStringList &arguments);
    // Ends it with SIGTERM, as Ctrl-C does, and waits for it.
    void stop();
    bool isRunning() const;

    // Everything it printed so far, one entry per line, without the time stamps.
    QStringList lines() const { return m_lines; }
    // True when a line printed from index `from` on contains `text`.
    bool printedSince(qsizetype from, const QString &text) const;

signals:
    void linePrinted(const QString &line);

private:
    void readOutput();
    std::optional<QString> wireNetwork();

    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partialLine;
    bool m_wired = false;
};

} // namespace DevSim
