// carillon: the firmware update wizard.

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "wizard/UpdateApp.h"
#include "wizard/art/Artwork.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("carillon"));
    QApplication::setDesktopFileName(QStringLiteral("carillon"));
    QApplication::setWindowIcon(QPixmap::fromImage(carillon::art::DrawProgramIcon(64)));
    carillon::CUpdateApp theApp(argc > 0 ? argv[0] : "");
    theApp.InitInstance();
    return 0;
}
