#include "wizard/AboutDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "wizard/VersionInfo.h"
#include "wizard/art/Artwork.h"

namespace carillon {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("A propos de Carillon"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(353, 90);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(art::DrawProgramIcon(32)));
    icon->setGeometry(16, 16, 32, 32);
    auto* name = new QLabel(QStringLiteral("Flashing Utility"), this);
    name->setGeometry(64, 16, 190, 20);
    auto* version = new QLabel(QString::fromStdString("Version " + CVersionInfo().FormatVersion()), this);
    version->setGeometry(64, 40, 190, 20);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(267, 11, 75, 23);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace carillon
