#include "app/cli/cli_session.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "app/cli/setting_pairs.h"
#include "app/identity/identity_display.h"
#include "app/link/comm_control_host.h"
#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"
#include "app/settings/apply_setup_token.h"
#include "app/settings/setup_model.h"
#include "libs/serilon/port_map.h"

namespace tcu::cli {

namespace {

// An identity answer as tcu prints it: whole, without its line end.
QString answerText(const QString& answer) {
    QString text = answer;
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

// text as a JSON string, quotes included.
QByteArray jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QString keyName(int key) {
    const std::string_view k = settings::setupKeys()[key].key;
    return QString::fromLatin1(k.data(), static_cast<qsizetype>(k.size()));
}

} // namespace

CliSession::CliSession(const Options& options, std::FILE* out, std::FILE* err)
    : options_(options), out_(out), err_(err) {
    core_.setView(this);
    core_.setSetup(&setup_);
}

CliSession::~CliSession() {
    core_.setView(nullptr);
    core_.setSetup(nullptr);
}

void CliSession::setPanelText(int panel, const QString& text) {
    if (panel == 2)
        panel2_ = text;
}

void CliSession::say(const QString& text) {
    std::fprintf(err_, "tcu: %s\n", text.toLocal8Bit().constData());
}

void CliSession::note(const QString& text) {
    if (!options_.quiet)
        say(text);
}

int CliSession::scannerFailed(const QString& fallback) {
    const bool named = panel2_.startsWith(QLatin1String("Error"));
    say(named ? panel2_ + QStringLiteral(": the scanner did not answer or refused") : fallback);
    return kExitScanner;
}

void CliSession::printPairs(const QStringList& names, const QStringList& values) {
    if (options_.json) {
        // Written by hand to keep the order of the names (a JSON object of Qt sorts them).
        QByteArray json = "{";
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (i > 0)
                json += ',';
            json += jsonString(names.at(i)) + ':' + jsonString(values.at(i));
        }
        std::fprintf(out_, "%s}\n", json.constData());
        return;
    }
    for (qsizetype i = 0; i < names.size(); ++i)
        std::fprintf(out_, "%s=%s\n", names.at(i).toLocal8Bit().constData(),
                     values.at(i).toLocal8Bit().constData());
}

int CliSession::run() {
    core_.StartupDetect = 1;
    core_.LoadPortSettings();
    try {
        core_.createControl();
    } catch (const ControlUnavailable& e) {
        QString fix = e.fix();
        fix.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        say(QStringLiteral("the serial communication control cannot be created: ") +
            QString::fromStdString(e.what()) + QLatin1Char('\n') + fix);
        return kExitScanner;
    }
    const QString& c = options_.command;
    if (c == QLatin1String("detect"))
        return detect();
    // Commands that read or write files check them before the scanner is disturbed.
    if (c == QLatin1String("load")) {
        settings::SetupValues probe;
        core_.setSetup(&probe);
        const std::optional<FileError> error = core_.OpenSetupFile(options_.args.at(0));
        core_.setSetup(&setup_);
        if (error) {
            say(QStringLiteral("cannot read %1: %2").arg(options_.args.at(0), error->description));
            return kExitFile;
        }
    }
    std::vector<SettingPair> pairs;
    if (c == QLatin1String("set")) {
        for (const QString& arg : options_.args) {
            auto parsed = parseSettingPair(arg);
            if (const QString* error = std::get_if<QString>(&parsed)) {
                say(*error + QStringLiteral("; nothing was sent"));
                return kExitUsage;
            }
            pairs.push_back(std::get<SettingPair>(parsed));
        }
    }
    if (c == QLatin1String("get")) {
        for (const QString& name : options_.args) {
            const QByteArray n = name.toUpper().toLatin1();
            if (settings::setupKeyIndex(std::string_view(n.constData(), n.size())) < 0) {
                say(QStringLiteral("%1 is not a setting (tcu get lists them all)").arg(name));
                return kExitUsage;
            }
        }
    }
    if (c == QLatin1String("regkey") && options_.args.at(0).size() > 30) {
        say(QStringLiteral("a registration key has at most 30 characters"));
        return kExitUsage;
    }

    if (const int linked = connect(); linked != kExitOk)
        return linked;

    if (c == QLatin1String("info"))
        return info();
    if (c == QLatin1String("get"))
        return get();
    if (c == QLatin1String("set")) {
        if (const int received = receive(); received != kExitOk)
            return received;
        for (const SettingPair& p : pairs)
            settings::ApplySetupToken(setup_, "<" + std::string(settings::setupKeys()[p.key].key) +
                                                  "=" + p.value + ">");
        return send();
    }
    if (c == QLatin1String("save"))
        return save();
    if (c == QLatin1String("load"))
        return load();
    if (c == QLatin1String("factory"))
        return factory();
    return regkey();
}

int CliSession::connect() {
    if (options_.baud.isEmpty()) {
        std::optional<int16_t> port;
        if (options_.port)
            port = static_cast<int16_t>(*options_.port);
        const ProgramCore::Detection d = core_.AutoBaudDetect(port);
        switch (d.outcome) {
        case DetectionOutcome::Found:
            return kExitOk;
        case DetectionOutcome::PortClosed:
            return kExitPort;
        case DetectionOutcome::Cancelled:
        case DetectionOutcome::Ended:
            say(QStringLiteral("no answer from the scanner on COM%1 at any rate")
                    .arg(core_.CommCtl1.commPort()));
            return kExitScanner;
        }
        return kExitScanner;
    }
    // --baud: the port opened at the rate given, no detection.
    int16_t port = 1;
    if (options_.port)
        port = static_cast<int16_t>(*options_.port);
    else if (const std::optional<int16_t> saved = portNumberOf(core_.IniPortCom))
        port = *saved;
    core_.ParityLetter = options_.parity;
    ErrorState err;
    err.run([&] {
        core_.CommCtl1.setCommPort(port);
        core_.CommCtl1.setSettings(options_.baud + QLatin1Char(',') + options_.parity +
                                   QStringLiteral(",8,1"));
        core_.CommCtl1.setPortOpen(true);
        core_.CommCtl1.setInputLen(0);
    });
    if (err) {
        say(QStringLiteral("cannot open COM%1: %2").arg(port).arg(err.last()->description));
        return kExitPort;
    }
    return kExitOk;
}

int CliSession::detect() {
    const int linked = connect();
    if (linked != kExitOk)
        return linked;
    const int port = core_.CommCtl1.commPort();
    const QString device =
        QString::fromStdString(serilon::devicePathFor(serilon::loadPortMap(), port));
    printPairs({QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("settings")},
               {QString::number(port), device, core_.CommCtl1.settings()});
    if (port > 6)
        note(QStringLiteral("COM%1 is not saved: TCU.INI keeps ports 1 to 6").arg(port));
    return kExitOk;
}

int CliSession::receive() {
    if (core_.ReceiveSetup() != 1)
        return scannerFailed(QStringLiteral("the setup could not be read"));
    return kExitOk;
}

int CliSession::send() {
    const QString before = core_.CommCtl1.settings();
    if (core_.SendSetup() != 1)
        return scannerFailed(QStringLiteral("the setup could not be sent"));
    const QString after = core_.CommCtl1.settings();
    if (after != before)
        note(QStringLiteral("the port follows the scanner to %1").arg(after));
    return kExitOk;
}

int CliSession::info() {
    core_.identity = ScannerIdentity();
    bool notSupported = false;
    core_.receiveIdentity.serialNotSupported = [&] { notSupported = true; };
    const int16_t read = core_.ReadIdentity();
    core_.receiveIdentity.serialNotSupported = nullptr;
    if (read != 1)
        return scannerFailed(QStringLiteral("the identity could not be read"));
    const ScannerIdentity& id = core_.identity;
    const QString none = QString::fromLatin1(kNotSupported);
    printPairs({QStringLiteral("application1"), QStringLiteral("application2"),
                QStringLiteral("hardware"), QStringLiteral("model"), QStringLiteral("web_site"),
                QStringLiteral("serial_number"), QStringLiteral("registration_key")},
               {answerText(id.application1), answerText(id.application2), answerText(id.hardware),
                answerText(id.model), answerText(id.webSite),
                notSupported ? none : answerText(id.serialNumber),
                notSupported ? none : answerText(id.registrationKey)});
    return kExitOk;
}

int CliSession::get() {
    if (const int received = receive(); received != kExitOk)
        return received;
    QStringList names;
    QStringList values;
    for (int key = 0; key < settings::kSetupKeyCount; ++key) {
        const QString name = keyName(key);
        bool wanted = options_.args.isEmpty();
        for (const QString& a : options_.args)
            wanted = wanted || a.compare(name, Qt::CaseInsensitive) == 0;
        if (!wanted)
            continue;
        names << name;
        values << QString::fromStdString(settings::setupValue(setup_, key));
    }
    printPairs(names, values);
    return kExitOk;
}

int CliSession::save() {
    if (const int received = receive(); received != kExitOk)
        return received;
    if (const std::optional<FileError> error = core_.SaveSetupFile(options_.args.at(0))) {
        say(QStringLiteral("cannot write %1: %2").arg(options_.args.at(0), error->description));
        return kExitFile;
    }
    return kExitOk;
}

int CliSession::load() {
    if (const int received = receive(); received != kExitOk)
        return received;
    if (const std::optional<FileError> error = core_.OpenSetupFile(options_.args.at(0))) {
        say(QStringLiteral("cannot read %1: %2").arg(options_.args.at(0), error->description));
        return kExitFile;
    }
    return send();
}

int CliSession::factory() {
    if (core_.FactoryDefault() != 1)
        return scannerFailed(QStringLiteral("the factory defaults could not be restored"));
    note(QStringLiteral("factory defaults restored; the port follows to %1")
             .arg(core_.CommCtl1.settings()));
    return kExitOk;
}

int CliSession::regkey() {
    if (core_.ExchangeCommand(QStringLiteral("<APP1RV:>")) != 1)
        return scannerFailed(QStringLiteral("the scanner did not tell its revision"));
    switch (core_.WriteRegistrationKey(options_.args.at(0))) {
    case KeyWrite::Written:
        return kExitOk;
    case KeyWrite::NotSupported:
        say(QStringLiteral("the scanner's application 1 revision %1 has no registration key "
                           "(from 3.22 on)")
                .arg(answerText(core_.identity.application1).trimmed()));
        return kExitScanner;
    case KeyWrite::NotAcknowledged:
        break;
    }
    return scannerFailed(QStringLiteral("the scanner did not take the key"));
}

} // namespace tcu::cli
