#include "app/cli/command_line.h"

#include <QHash>

namespace tcu::cli {

namespace {

// Operands each command takes: at least min, at most max (-1 any number).
struct Arity {
    int min;
    int max;
};

const QHash<QString, Arity>& arities() {
    static const QHash<QString, Arity> table = {
        {QStringLiteral("detect"), {0, 0}},  {QStringLiteral("info"), {0, 0}},
        {QStringLiteral("get"), {0, -1}},    {QStringLiteral("set"), {1, -1}},
        {QStringLiteral("save"), {1, 1}},    {QStringLiteral("load"), {1, 1}},
        {QStringLiteral("factory"), {0, 0}}, {QStringLiteral("regkey"), {1, 1}},
        {QStringLiteral("upgrade"), {1, 1}}, {QStringLiteral("ports"), {0, 0}},
        {QStringLiteral("map"), {2, 2}},
    };
    return table;
}

const char kUsage[] =
    "usage: tcu [--port N | --device PATH] [--baud RATE[,PARITY]] [--json] [--quiet] COMMAND ...";

// The rates the scanner and the detection know.
const QStringList kRates = {
    QStringLiteral("1200"),  QStringLiteral("2400"),   QStringLiteral("4800"),
    QStringLiteral("9600"),  QStringLiteral("19200"),  QStringLiteral("38400"),
    QStringLiteral("57600"), QStringLiteral("115200"),
};

// "N", "O", "E" for a parity as typed (a letter or a word, any case); "" when unknown.
QString parityLetter(const QString& typed) {
    const QString p = typed.toUpper();
    if (p == QLatin1String("N") || p == QLatin1String("NONE"))
        return QStringLiteral("N");
    if (p == QLatin1String("O") || p == QLatin1String("ODD"))
        return QStringLiteral("O");
    if (p == QLatin1String("E") || p == QLatin1String("EVEN"))
        return QStringLiteral("E");
    return {};
}

// Splits "--name=value" into name and value.
bool splitOption(const QString& arg, QString& name, std::optional<QString>& value) {
    if (!arg.startsWith(QLatin1String("--")))
        return false;
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    name = eq < 0 ? arg : arg.left(eq);
    if (eq >= 0)
        value = arg.mid(eq + 1);
    return true;
}

} // namespace

const QStringList& commandNames() {
    static const QStringList names = {
        QStringLiteral("detect"),  QStringLiteral("info"),   QStringLiteral("get"),
        QStringLiteral("set"),     QStringLiteral("save"),   QStringLiteral("load"),
        QStringLiteral("factory"), QStringLiteral("regkey"), QStringLiteral("upgrade"),
        QStringLiteral("ports"),   QStringLiteral("map"),
    };
    return names;
}

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    ParsedCommandLine parsed;
    Options& o = parsed.options;
    auto fail = [&](const QString& why) {
        parsed.error = why;
        return parsed;
    };
    bool upgradeOption = false;
    bool operandsOnly = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        QString name;
        std::optional<QString> value;
        if (arg == QLatin1String("--") && !operandsOnly) {
            operandsOnly = true;
            continue;
        }
        if (operandsOnly || arg == QLatin1String("-") || !splitOption(arg, name, value)) {
            if (!operandsOnly && arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-") &&
                arg != QLatin1String("-h"))
                return fail(QStringLiteral("unknown option %1").arg(arg));
            if (arg == QLatin1String("-h")) {
                o.help = true;
                continue;
            }
            if (o.command.isEmpty())
                o.command = arg;
            else
                o.args << arg;
            continue;
        }
        // An option that takes a value: from "=value" or the next argument.
        auto takeValue = [&]() -> std::optional<QString> {
            if (value)
                return value;
            if (i + 1 < arguments.size())
                return arguments.at(++i);
            return std::nullopt;
        };
        auto noValue = [&]() { return !value.has_value(); };
        if (name == QLatin1String("--help")) {
            o.help = true;
        } else if (name == QLatin1String("--version")) {
            o.version = true;
        } else if (name == QLatin1String("--json") && noValue()) {
            o.json = true;
        } else if (name == QLatin1String("--quiet") && noValue()) {
            o.quiet = true;
        } else if (name == QLatin1String("--port")) {
            const std::optional<QString> v = takeValue();
            bool ok = false;
            const int port = v ? v->toInt(&ok) : 0;
            if (!ok || port < 1 || port > kMaxPort)
                return fail(
                    QStringLiteral("--port takes a port number from 1 to %1").arg(kMaxPort));
            o.port = port;
        } else if (name == QLatin1String("--device")) {
            const std::optional<QString> v = takeValue();
            if (!v || v->isEmpty())
                return fail(QStringLiteral("--device takes the path of a serial device"));
            o.device = *v;
        } else if (name == QLatin1String("--baud")) {
            const std::optional<QString> v = takeValue();
            if (!v)
                return fail(QStringLiteral("--baud takes RATE[,PARITY]"));
            const QStringList parts = v->split(QLatin1Char(','));
            if (parts.size() > 2 || !kRates.contains(parts.at(0)))
                return fail(QStringLiteral("--baud takes a rate of %1, optionally followed by "
                                           ",N ,O or ,E (not \"%2\")")
                                .arg(kRates.join(QStringLiteral(", ")), *v));
            o.baud = parts.at(0);
            o.parity = parts.size() == 2 ? parityLetter(parts.at(1)) : QStringLiteral("N");
            if (o.parity.isEmpty())
                return fail(QStringLiteral("--baud: the parity is N, O or E (not \"%1\")")
                                .arg(parts.at(1)));
        } else if (name == QLatin1String("--fast") && noValue()) {
            o.fast = upgradeOption = true;
        } else if (name == QLatin1String("--yes") && noValue()) {
            o.yes = upgradeOption = true;
        } else if (name == QLatin1String("--force") && noValue()) {
            o.force = upgradeOption = true;
        } else if (name == QLatin1String("--wait")) {
            const std::optional<QString> v = takeValue();
            bool ok = false;
            const int seconds = v ? v->toInt(&ok) : 0;
            if (!ok || seconds < 1)
                return fail(QStringLiteral("--wait takes a number of seconds, at least 1"));
            o.waitSeconds = seconds;
            upgradeOption = true;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(arg));
        }
    }
    if (o.help || o.version)
        return parsed;
    if (o.command.isEmpty())
        return fail(QStringLiteral("no command given (one of %1)")
                        .arg(commandNames().join(QStringLiteral(", "))));
    const auto arity = arities().find(o.command);
    if (arity == arities().end())
        return fail(QStringLiteral("unknown command \"%1\" (one of %2)")
                        .arg(o.command, commandNames().join(QStringLiteral(", "))));
    const int count = static_cast<int>(o.args.size());
    if (count < arity->min || (arity->max >= 0 && count > arity->max))
        return fail(
            QStringLiteral("wrong number of operands for %1; see tcu %1 --help").arg(o.command));
    if (o.port && !o.device.isEmpty())
        return fail(QStringLiteral("--port and --device both name the port: give one"));
    if ((o.port || !o.device.isEmpty()) &&
        (o.command == QLatin1String("ports") || o.command == QLatin1String("map")))
        return fail(QStringLiteral("%1 takes no --port or --device").arg(o.command));
    if (upgradeOption && o.command != QLatin1String("upgrade"))
        return fail(QStringLiteral("--fast, --yes, --force and --wait belong to upgrade"));
    return parsed;
}

std::optional<QString> helpText(const QString& command) {
    const QString common =
        QStringLiteral("\nOptions of every command:\n"
                       "  --port N              the serial port (COM1 is 1); default: the one "
                       "saved in TCU.INI\n"
                       "  --device PATH         the serial device at PATH (/dev/serial/by-id/..., "
                       "/dev/ttyUSB0),\n"
                       "                        by a free port number; the port map is not "
                       "changed\n"
                       "  --baud RATE[,PARITY]  talk at this rate and parity (N, O, E) "
                       "without detection\n"
                       "  --json                data as one JSON object\n"
                       "  --quiet               no progress or notes on standard error\n"
                       "  --help, --version\n"
                       "\nExit status: 0 done; 1 the scanner refused, did not answer or the "
                       "transfer failed;\n2 usage; 3 the port cannot be opened; 4 a file "
                       "cannot be read or written; 130 interrupted.\n");
    if (command.isEmpty())
        return QString::fromLatin1(kUsage) +
               QStringLiteral("\n\nThe scanner from the command line.\n\nCommands:\n"
                              "  detect               find the scanner's rate on the port\n"
                              "  info                 its revisions, model, web site, serial "
                              "number, key\n"
                              "  get [NAME...]        its setup as NAME=VALUE lines\n"
                              "  set NAME=VALUE...    change settings and send the setup\n"
                              "  save FILE            save its setup to a setup file\n"
                              "  load FILE            send the setup of a setup file\n"
                              "  factory              restore the factory defaults\n"
                              "  regkey KEY           write the registration key\n"
                              "  upgrade IMAGE        load an application-1 firmware image\n"
                              "  ports                the serial devices present\n"
                              "  map N DEVICE         let port N lead to DEVICE in the port map\n"
                              "\n'tcu COMMAND --help' tells more.\n") +
               common;
    static const QHash<QString, QString> texts = {
        {QStringLiteral("detect"),
         QStringLiteral("usage: tcu [--port N] detect\n\nTries the eight rates on the saved "
                        "port (or --port N) and prints port, device and settings found.\n"
                        "TCU.INI is rewritten as tcu1 does (only for ports 1 to 6).\n")},
        {QStringLiteral("info"),
         QStringLiteral("usage: tcu info\n\nPrints application 1 and 2 revisions, hardware, "
                        "model, web site, serial number\nand registration key (the last two "
                        "from revision 3.22 on), whole.\n")},
        {QStringLiteral("get"),
         QStringLiteral("usage: tcu get [NAME...]\n\nPrints the setup as NAME=VALUE lines "
                        "(all 26 settings, or the NAMEs given).\n")},
        {QStringLiteral("set"),
         QStringLiteral("usage: tcu set NAME=VALUE...\n\nChecks every pair (nothing is sent "
                        "when one is wrong), reads the setup,\napplies the pairs and sends "
                        "the whole setup; the port follows new line settings.\n")},
        {QStringLiteral("save"),
         QStringLiteral("usage: tcu save FILE\n\nReads the setup and writes it as a setup "
                        "file tcu1 opens.\n")},
        {QStringLiteral("load"),
         QStringLiteral("usage: tcu load FILE\n\nReads the setup, applies the records of "
                        "the setup file and sends it.\n")},
        {QStringLiteral("factory"),
         QStringLiteral("usage: tcu factory\n\nRestores the scanner's factory defaults; the "
                        "port follows it to 9600,N,8,1.\n")},
        {QStringLiteral("regkey"),
         QStringLiteral("usage: tcu regkey KEY\n\nWrites the registration key (scanners with "
                        "revision 3.22 or later).\n")},
        {QStringLiteral("upgrade"),
         QStringLiteral("usage: tcu upgrade IMAGE [--fast] [--yes] [--force] [--wait "
                        "SECONDS]\n\nLoads an application-1 image into the scanner's ROM "
                        "by ZMODEM.\n  --fast     switch scanner and port to 115200 for the "
                        "transfer\n  --yes      answer the question before writing the ROM "
                        "(needed without a terminal)\n  --force    load an image older "
                        "than the scanner's revision\n  --wait S   wait S seconds for the "
                        "restarted scanner (default 120)\nCtrl-C stops the transfer as "
                        "Cancel does.\n")},
        {QStringLiteral("ports"),
         QStringLiteral("usage: tcu ports [--json]\n\nLists the serial devices present "
                        "without opening them: name (the stable\n/dev/serial/by-id or by-path "
                        "name, else the node), maker and product, serial\nnumber, node, and "
                        "whether another program holds it.\n")},
        {QStringLiteral("map"),
         QStringLiteral("usage: tcu map N DEVICE\n\nLets port N (1 to 255) lead to DEVICE "
                        "in the port map ports.conf: by the\ndevice's stable by-id name "
                        "when it is present and has one, so the port\nfinds it after a "
                        "replug; the map's other lines and comments stay.\n")},
    };
    const auto it = texts.find(command);
    if (it == texts.end())
        return std::nullopt;
    return *it + common;
}

QString versionText() {
    return QStringLiteral("tcu 2.11");
}

} // namespace tcu::cli
