#include "app/cli/cli_session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <chrono>
#include <memory>
#include <unistd.h>

#include "app/cli/interrupt.h"
#include "app/cli/progress_text.h"
#include "app/cli/setting_pairs.h"
#include "app/cli/terminal_dialogs.h"
#include "app/identity/identity_display.h"
#include "app/link/comm_control_host.h"
#include "app/link/message_pump.h"
#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"
#include "app/settings/apply_setup_token.h"
#include "app/settings/setup_model.h"
#include "app/upgrade/upgrade_boxes.h"
#include "app/upgrade/upgrade_rules.h"
#include "serilon/serilon.h"

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

using Clock = std::chrono::steady_clock;

// After the transmit job has stopped, its last progress reports may still be on their
// way; the load counts as complete when the bar is full within this time (the upload
// window's completion wait).
constexpr auto kCompletionWait = std::chrono::milliseconds(7000);
// How often the job is looked at.
constexpr auto kJobWatch = std::chrono::milliseconds(1000);
constexpr char kLoadToken[] = "<A1CODE=Z>";

CliSession::CliSession(const Options& options, std::FILE* out, std::FILE* err,
                       TerminalDialogs& dialogs)
    : options_(options), out_(out), err_(err), dialogs_(dialogs) {
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
    // Ctrl-C wakes the core's waits and ends them; a transfer's own watch cancels the
    // transfer first.
    std::unique_ptr<QSocketNotifier> interruptWatch;
    if (interruptWakeFd() >= 0) {
        interruptWatch =
            std::make_unique<QSocketNotifier>(interruptWakeFd(), QSocketNotifier::Read);
        QObject::connect(interruptWatch.get(), &QSocketNotifier::activated, &core_, [this] {
            drainInterruptWake();
            if (interrupted() && !transferring_)
                core_.end();
        });
    }
    // A Ctrl-C that came before the watch began.
    if (interrupted())
        core_.end();
    const QString& c = options_.command;
    const int status = c == QLatin1String("detect") ? detect() : command();
    if (interrupted()) {
        say(QStringLiteral("interrupted"));
        return kExitInterrupted;
    }
    return status;
}

int CliSession::command() {
    const QString& c = options_.command;
    if (c == QLatin1String("upgrade"))
        return upgradeImage();
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
            // The core's box says why, but --quiet does not print boxes that only inform:
            // an error is said all the same.
            if (options_.quiet)
                say(QStringLiteral("cannot open COM%1: %2")
                        .arg(core_.CommCtl1.commPort())
                        .arg(d.openError));
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
    char path[512] = "";
    SerialDevicePath(port, path, sizeof path);
    const QString device = QString::fromLocal8Bit(path);
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

namespace tcu::cli {

int CliSession::upgradeImage() {
    const QString& path = options_.args.at(0);
    std::optional<upgrade::ImageHeader> header;
    try {
        header = upgrade::readImageHeader(path);
    } catch (const RunTimeError& e) {
        say(QStringLiteral("cannot read %1: %2").arg(path, e.description()));
        return kExitFile;
    }
    if (!header) {
        say(QStringLiteral("%1 is not an image: it holds no more than its %2-byte header")
                .arg(path)
                .arg(upgrade::kImageHeaderSize));
        return kExitFile;
    }
    printPairs({QStringLiteral("code_size"), QStringLiteral("crc16"), QStringLiteral("version"),
                QStringLiteral("date")},
               {header->codeSize.trimmed(), header->crc16.trimmed(), header->version.trimmed(),
                header->date.trimmed()});
    std::fflush(out_);
    if (const int linked = connect(); linked != kExitOk)
        return linked;

    // As the upload window does while it is loaded: no receive events during the load.
    core_.BeginUpload();
    const int loaded = loadImage(path, *header);
    if (const std::optional<QString> error = core_.EndUpload())
        say(QString(*error).replace(QLatin1Char('\r'), QLatin1Char(' ')));
    if (loaded != kExitOk)
        return loaded;

    // The scanner restarts on the new firmware: look for it until the time is up.
    dialogs_.answerUntil(QStringLiteral("Connection Failed"), vort::dialogs::Answer::Retry,
                         Clock::now() + std::chrono::seconds(options_.waitSeconds));
    core_.identity = ScannerIdentity();
    if (core_.AfterUpload() != 1 || interrupted()) {
        if (!interrupted())
            say(QStringLiteral("the image was loaded, but the scanner did not answer within "
                               "%1 s of the restart")
                    .arg(options_.waitSeconds));
        return kExitScanner;
    }
    printPairs({QStringLiteral("application1")}, {answerText(core_.identity.application1)});
    return kExitOk;
}

int CliSession::loadImage(const QString& path, const upgrade::ImageHeader& header) {
    using vort::dialogs::Answer;
    if (upgrade::ask(nullptr, QStringLiteral("Do You Want to Update the ROM?"),
                     QStringLiteral("Application 1 File into ROM..."),
                     vort::dialogs::Buttons::YesNo) != Answer::Yes) {
        say(QStringLiteral("not loaded: the ROM is written only after a Yes (--yes without a "
                           "terminal)"));
        return kExitUsage;
    }
    std::optional<int16_t> goAhead;
    try {
        core_.identity.application1.clear();
        goAhead = core_.Check_Rev(QString::fromLatin1(kLoadToken), header.version);
    } catch (const RunTimeError& e) {
        say(QStringLiteral("not loaded: the revisions cannot be compared: %1")
                .arg(e.description()));
        return kExitScanner;
    }
    if (goAhead.value_or(0) != 1) {
        if (core_.identity.application1.isEmpty())
            return scannerFailed(QStringLiteral("the scanner did not tell its revision"));
        say(QStringLiteral("not loaded: the image's version %1 is older than the scanner's %2 "
                           "(--force loads it)")
                .arg(header.version.trimmed(), answerText(core_.identity.application1).trimmed()));
        return kExitUsage;
    }
    if (core_.Fast_Load(options_.fast) != 1)
        return scannerFailed(QStringLiteral("the scanner did not switch to 115200"));
    if (core_.ExchangeCommand(QString::fromLatin1(kLoadToken)) != 1) {
        say(QStringLiteral("the scanner refused the load token: nothing was loaded"));
        return kExitScanner;
    }
    ErrorState err;
    err.run([&] { core_.StartTransmit(path); });
    if (err) {
        say(QStringLiteral("the transfer could not start: %1").arg(err.last()->description));
        return kExitScanner;
    }
    return watchTransfer();
}

int CliSession::watchTransfer() {
    transferring_ = true;
    const bool terminal = isatty(fileno(err_)) == 1;
    const Clock::time_point start = Clock::now();
    upgrade::BarState bar;
    bool reported = false;
    int lastTenth = -1;
    core_.commHost().onFileInfo = [&](int16_t action, int32_t data) {
        bar = upgrade::barAfterFileInfo(action, core_.CommCtl1.fileSize(), data);
        reported = true;
        if (options_.quiet)
            return;
        TransferProgress p;
        p.bytes = bar.value;
        p.total = bar.maximum;
        p.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (terminal) {
            std::fprintf(err_, "\r%s", barLine(p).toLocal8Bit().constData());
        } else if (percentOf(p) / 10 != lastTenth) {
            lastTenth = percentOf(p) / 10;
            std::fprintf(err_, "%s\n", plainLine(p).toLocal8Bit().constData());
        }
        std::fflush(err_);
    };

    Clock::time_point nextWatch = Clock::now() + kJobWatch;
    std::optional<Clock::time_point> stoppedAt;
    bool cancelled = false;
    for (;;) {
        // Woken by the job's progress, Ctrl-C, or the next look at the job.
        PumpMessagesUntil(stoppedAt ? *stoppedAt + kCompletionWait : nextWatch);
        if (interrupted()) {
            // What Cancel does: the job stops, scanner and port go back to the old rate.
            cancelled = true;
            if (terminal && reported)
                std::fputc('\n', err_);
            if (const std::optional<QString> error = core_.CancelTransfer(options_.fast))
                say(*error);
            break;
        }
        const Clock::time_point now = Clock::now();
        if (!stoppedAt && now >= nextWatch) {
            nextWatch = now + kJobWatch;
            bool running = true;
            ErrorState err;
            err.run([&] { running = core_.CommCtl1.jobProcessing(); });
            if (!err && !running)
                stoppedAt = now;
        }
        if (stoppedAt && (bar.complete() || now - *stoppedAt >= kCompletionWait))
            break;
    }
    core_.commHost().onFileInfo = nullptr;
    transferring_ = false;
    if (terminal && reported && !cancelled)
        std::fputc('\n', err_);
    if (cancelled) {
        say(QStringLiteral("the transfer was cancelled; the scanner keeps its firmware and the "
                           "port is at %1")
                .arg(core_.CommCtl1.settings()));
        return kExitInterrupted;
    }
    if (!bar.complete()) {
        say(QStringLiteral("the transfer did not complete; the scanner keeps what it had"));
        return kExitScanner;
    }
    return kExitOk;
}

} // namespace tcu::cli
