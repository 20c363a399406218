// carillon: the firmware update wizard.

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "wizard/UpdateApp.h"
#include "wizard/art/Artwork.h"

namespace {

constexpr const char* kHelp =
    "usage: carillon [--help] [--version]\n"
    "\n"
    "The Carillon wizard: it finds the printers attached by serial line or USB,\n"
    "lets you choose one, a firmware package (.VRK_Package) and an optional output\n"
    "binary (.VRK_Package.bin), programs the printer and reports the outcome.\n"
    "\n"
    "Installed, it reads the system-wide setup file /etc/carillon/Setup.ini and\n"
    "remembers the files chosen with the \"...\" buttons in\n"
    "$XDG_CONFIG_HOME/carillon/Setup.ini (~/.config/carillon/Setup.ini). A program\n"
    "with a SetupData folder beside it (a build tree) uses SetupData/Setup.ini\n"
    "there for both. The current directory is never read.\n"
    "\n"
    "With IsSilent set in the setup file it updates the printer that the section\n"
    "\"Silent mode config\" names with the package of \"Firmware File\", without\n"
    "questions, and ends when done.\n"
    "\n"
    "F5 refreshes the page (a new search on the printer page); F1 or the context\n"
    "menu shows the About box. See carillon-cli(1) for the same update without a\n"
    "display.\n"
    "\n"
    "  -h, --help     show this text and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the wizard ran, 1 when no display could be opened,\n"
    "2 on a usage error.\n";

// Qt's messages while it opens the display: kept until it is known whether
// the display opened, so that a failure prints one plain line instead of
// Qt's notes and an abort.
std::vector<std::pair<QtMsgType, QString>> g_startupMessages;

[[noreturn]] void NoDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0'))
        std::fputs("carillon: no display to open (neither DISPLAY nor WAYLAND_DISPLAY is set); start the wizard "
                   "in a desktop session, or update with carillon-cli\n",
                   stderr);
    else
        std::fprintf(stderr, "carillon: cannot open the display %s; start the wizard in a desktop session, "
                             "or update with carillon-cli\n",
                     display != nullptr && *display != '\0' ? display : wayland);
    std::_Exit(1);
}

void StartupMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    if (type == QtFatalMsg) NoDisplay();
    g_startupMessages.emplace_back(type, message);
}

bool Is(const char* argument, const char* name) { return std::strcmp(argument, name) == 0; }

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt, which needs a display for anything.
    for (int i = 1; i < argc && !Is(argv[i], "--"); ++i) {
        if (Is(argv[i], "--help") || Is(argv[i], "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (Is(argv[i], "--version")) {
            std::printf("carillon %s\n", CARILLON_VERSION);
            return 0;
        }
    }
    const QtMessageHandler usual = qInstallMessageHandler(StartupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
    if (usual != nullptr)
        for (const auto& [type, message] : g_startupMessages) usual(type, QMessageLogContext(), message);
    // Qt took the options it knows (-platform and the like); anything left is a mistake.
    if (argc > 1) {
        std::fprintf(stderr, "carillon: unexpected argument '%s'\nTry 'carillon --help' for more information.\n", argv[1]);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("carillon"));
    QApplication::setDesktopFileName(QStringLiteral("carillon"));
    QApplication::setWindowIcon(QPixmap::fromImage(carillon::art::DrawProgramIcon(64)));
    carillon::CUpdateApp theApp(argv[0]);
    theApp.InitInstance();
    return 0;
}
