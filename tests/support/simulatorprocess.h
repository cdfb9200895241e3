#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace DevSim {

// One virtual cable (a veth pair) from the caller's network namespace to a simulator's, the way
// make demo joins the tool's and the plant's. Cable 0 is 198.18.0.0/16, cable 1 198.19.0.0/16:
//   here:  kvrsim<number>, 198.<18+number>.0.1/16, and the default route if defaultRoute is set
//          (a search to 255.255.255.255 that names no adapter goes down that cable only);
//   there: kvrdev<number>, 198.<18+number>.0.2, and every other address of the /16 local, so that
//          a device stays reachable at whatever address a write gives it. A device at an address
//          outside the /16 is reached only by broadcast, like a device of a foreign subnet.
struct SimulatorCable
{
    int number = 0; // 0 or 1
    bool defaultRoute = true;

    QString toolAddress() const;   // "198.18.0.1"
    QString interfaceName() const; // "kvrsim0", the caller's end
};

// Why a simulator's run counts as failed: a crash, an exit status other than 0, or a sanitizer's
// report on its standard error. Nothing for a clean run.
std::optional<QString> runFailure(QProcess::ExitStatus status, int exitCode, const QString &errorOutput);

// Runs kvrctl700-devsim in a network namespace made for it, joined to the caller's by a cable.
// The caller must be in a private network namespace without a default route (unless the cable
// brings one) and allowed to make namespaces: tools/isolated.sh --loopback-only gives exactly that.
// Two simulators on cables 0 and 1 give the caller two adapters, the default route on one of them.
// The simulator, its namespace and the cable end when stop() is called, when this object goes, or
// when the caller dies.
//
// What the simulator writes to standard error is copied to the caller's, and a run that fails
// (runFailure(), or the simulator ending before stop()) ends the caller with qFatal(): a sanitizer
// report or a crash of the simulator never passes unseen.
class SimulatorProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr char ToolAddress[] = "198.18.0.1"; // on cable 0

    explicit SimulatorProcess(const SimulatorCable &cable = {}, QObject *parent = nullptr);
    ~SimulatorProcess() override;

    // Starts the program with these arguments and wires the network; on failure the reason.
    std::optional<QString> start(const QString &program, const QStringList &arguments);
    // Ends it with SIGTERM, as Ctrl-C does, and waits for it.
    void stop();
    bool isRunning() const;

    const SimulatorCable &cable() const { return m_cable; }

    // Everything it printed so far, one entry per line, without the time stamps.
    QStringList lines() const { return m_lines; }
    // True when a line printed from index `from` on contains `text`.
    bool printedSince(qsizetype from, const QString &text) const;

signals:
    void linePrinted(const QString &line);

private:
    void readOutput();
    void forwardErrors();
    void endedByItself();
    std::optional<QString> wireNetwork();

    SimulatorCable m_cable;
    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partialLine;
    QString m_errors;
    bool m_wired = false;
    bool m_started = false;
    bool m_stopping = false;
};

} // namespace DevSim
