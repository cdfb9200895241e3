#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char Usage[] = R"(Usage: kvrctl700 [Qt options]
Finds PLCs, HMI panels, servo and frequency drives on the network (UDP port 102), makes one flash
its LEDs, and writes a new IP address, subnet mask and gateway to it.

  -h, --help     show this text and exit
  --version      show the version and exit

Every other option goes to Qt (for instance -platform, -style). kvrctl700-cli does the same from a
terminal or a script. Manual: man kvrctl700.
)";

// --help and --version answer in the terminal and end the program, as a desktop program's do: no
// window, and no display needed. The exit status is that of the output.
std::optional<int> answerInTerminal(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *text = nullptr;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            text = Usage;
        else if (std::strcmp(argv[i], "--version") == 0)
            text = "kvrctl700 " KVR_VERSION "\n";
        else
            continue;
        const bool written = std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0;
        return written ? 0 : 1;
    }
    return std::nullopt;
}

} // namespace

// No options of our own beyond --help and --version: the other arguments go to QApplication, so
// Qt's standard options work.
int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerInTerminal(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app.ico")));
    // Lets Wayland compositors match the windows to the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kvrctl700"));

    // Binds the device port before the window shows; no search is sent until the user asks.
    MainWindow window;
    window.show();
    return app.exec();
}
