#include "app/link/comm_control_host.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "vort/dispids.h"
#include "vort/guids.h"

// The control's stored design is a resource of a static library: nothing would pull its
// initialiser into the program unless it is called by name (outside any namespace).
static void initDesignResource() {
    Q_INIT_RESOURCE(commctl1);
}

namespace tcu {

using vort::component::HostError;
using vort::component::Variant;

namespace {

int32_t argI4(std::span<const Variant> args, size_t i) {
    int32_t v = 0;
    if (i < args.size())
        args[i].toI4(v);
    return v;
}

// The libvort.so that belongs to this program: beside it (a build), or in the library
// directory of an installation; empty when there is none.
QString libraryBesideProgram() {
    if (!QCoreApplication::instance())
        return {};
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QStringLiteral("/libvort.so"), dir + QStringLiteral("/../lib/libvort.so")}) {
        QFileInfo info(candidate);
        if (info.exists())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return {};
}

QString vortregCommand() {
    if (QCoreApplication::instance()) {
        QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/vortreg"));
        if (beside.isExecutable())
            return QDir::cleanPath(beside.absoluteFilePath());
    }
    return QStringLiteral("vortreg");
}

} // namespace

CommControlHost::CommControlHost(const std::string& designBag) {
    try {
        control_ = host_.createControl(vort::kClsidVortCtrl, &site_);
    } catch (const HostError& e) {
        throw ControlUnavailable(e.what(), registrationFix());
    }
    const vort::component::LoadResult loaded = control_.loadText(designBag);
    if (!loaded.ok())
        throw ControlUnavailable("the control refused the window's stored design: " + loaded.error,
                                 QStringLiteral("The program itself is damaged; build or "
                                                "install it again."));
    try {
        control_.advise(*this);
    } catch (const HostError& e) {
        throw ControlUnavailable(e.what(), registrationFix());
    }
}

CommControlHost::~CommControlHost() {
    // Events must not reach handlers of a window that is going away.
    onComm = nullptr;
    onModem = nullptr;
    onFileInfo = nullptr;
    control_.reset();
}

void CommControlHost::onEvent(int32_t dispid, std::span<const Variant> args) {
    switch (dispid) {
    case vort::kEventOnComm:
        if (onComm)
            onComm();
        break;
    case vort::kEventOnModem:
        if (onModem)
            onModem(static_cast<int16_t>(argI4(args, 0)), argI4(args, 1));
        break;
    case vort::kEventOnFileInfo:
        if (onFileInfo)
            onFileInfo(static_cast<int16_t>(argI4(args, 0)), argI4(args, 1));
        break;
    default:
        break;
    }
}

std::string CommControlHost::storedDesign() {
    initDesignResource();
    QFile bag(QStringLiteral(":/tcu/commctl1.bag"));
    if (!bag.open(QIODevice::ReadOnly))
        return {};
    return bag.readAll().toStdString();
}

QString CommControlHost::registrationFix() {
    QString library = libraryBesideProgram();
    if (library.isEmpty())
        library = QStringLiteral("<path to libvort.so>");
    return QStringLiteral("Register the serial communication control, then start the "
                          "program again:\r    ") +
           vortregCommand() + QLatin1Char(' ') + library;
}

} // namespace tcu
